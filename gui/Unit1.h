#pragma once
// The main window: its controls under their fixed names, start-up and
// shutdown, and one handler per user action. Handlers read their controls,
// call plain logic and write their controls.
#include <QIcon>
#include <QList>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "assembly.h"
#include "companion.h"
#include "diagnosis.h"
#include "failure_cause.h"
#include "listing.h"
#include "mailbox.h"
#include "offthread.h"
#include "session.h"
#include "watch.h"
#include "sockets.h"
#include "uiservices.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TForm2;
class TListView;
namespace netinfo {
class PromptRelay;
class ShareTree;
struct ShareTreeRow;
struct ShareTreeSteps;
}  // namespace netinfo

// What the window is given: its services and the engines it calls, made by
// Engines (assembly.h) over the platform's backends or over fakes. All
// outlive the window.
class Smb1Consents;

struct TForm1Deps {
  UiServices* ui = nullptr;
  netinfo::SocketsInfo* sockets = nullptr;
  // The library, the listing, the share tree and the library's calls off
  // the window's thread; they load the library at start-up, and end the work
  // under way and free the library as the window closes.
  Engines* engines = nullptr;
  std::string listFilePath;     // the computer list file
  std::string oldListFilePath;  // read instead while listFilePath does not exist; never written
  // The login dialog as the provider's workers reach it; null: none to relay.
  netinfo::PromptRelay* loginRelay = nullptr;
  // The listing engine's and the connection watch's time; null: the real clock.
  base::Clock* clock = nullptr;
  // SMB1 can be allowed for one computer (the program's own SMB client);
  // false where the system's client decides.
  bool smb1Offered = false;
  // The user's SMB1 consents, which the tree's menu can withdraw; may be null.
  Smb1Consents* consents = nullptr;
  // A diagnosis of one computer (blocking, bounded; run off the window's
  // thread); empty: the menu offers none.
  std::function<netinfo::Diagnosis(const std::string& name)> diagnose;
};

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Builds the controls and runs FormCreate.
  explicit TForm1(const TForm1Deps& deps, QWidget* parent = nullptr);
  // Runs FormDestroy.
  ~TForm1() override;

  // A termination request made during start-up; the event loop then ends at
  // its first turn.
  bool TerminateRequested() const { return terminateRequested_; }
  // A check, tick or conversion still runs on a thread of its own.
  bool WorkPending() const { return deps_.engines->calls.Pending(); }

  // Controls, under the names of the window's layout.
  QGroupBox* GroupBox6 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  TListView* ListView1 = nullptr;
  QLineEdit* Edit14 = nullptr;
  QLineEdit* workgroupname = nullptr;
  QGroupBox* GroupBox7 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QPushButton* Button5 = nullptr;
  TListView* ListView3 = nullptr;
  QLineEdit* Edit15 = nullptr;
  QPushButton* Button11 = nullptr;
  QPushButton* Button1 = nullptr;
  QTreeWidget* TreeView1 = nullptr;
  QPlainTextEdit* inimemo = nullptr;
  QGroupBox* GroupBox8 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLineEdit* Edit16 = nullptr;
  QLineEdit* Edit17 = nullptr;
  QPushButton* Button9 = nullptr;
  QPushButton* Button10 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusPanel0 = nullptr;  // panel 0 of StatusBar1
  std::unique_ptr<base::IntervalTimer> repeatping;
  QList<QIcon> ImageList1;  // 0 a computer, 1 a folder

  netlib::CompanionLibrary& Library() { return library_; }

  // Handlers.
  void FormCreate();
  void FormDestroy();
  void Button5Click();
  void Button11Click();
  void Button1Click();
  void Button9Click();
  void Button10Click();
  void SpeedButton1Click();
  void repeatpingTimer();
  void TreeView1DblClick();
  // The tree's menu: 接続を診断, and withdrawing an SMB1 consent.
  void TreeView1ContextMenu(const QPoint& at);
  void DiagnoseComputer(const std::string& name);

  // Plain routines that fill controls.
  void ListInterfaces();
  void ShowHostName();
  // The file the list is read from at start-up.
  const std::string& ListSource() const;
  // Fills the memo and the rows from the list file; *rowsLoaded is set once
  // its rows reached the list, also when a count line then fails.
  base::Status LoadPcList(bool* rowsLoaded);
  // Writes the rows to the memo and the list file (pclist::ListSession).
  base::Status SavePcList();

  // Status text of panel 0.
  void SetStatus(const QString& text);
  // A row's cause and what to do, for the status line and its node's tooltip.
  QString FailureText(const netinfo::FailureCause& failure) const;
  QString Status() const;

 private:
  void CreateControls();
  // The controls of each frame, and of the status bar, under their names.
  void CreateNetworkBox();
  void CreateWorkgroupBox();
  void CreateConversionBox();
  void CreateStatusBar();
  void NameForScreenReaders();
  void WireEvents();
  // Sets SpeedButton1 up without running its handler.
  void SetSpeedButtonUp();
  // Edit15's key filter: a-z typed become A-Z; true when the key was replaced.
  bool Edit15KeyPress(class QKeyEvent* event);
  bool eventFilter(QObject* watched, QEvent* event) override;
  // An exception that escaped a handler (a thread that could not start, say).
  void ShowFailure(const std::exception& e);
  void ShowFailure(const base::Failure& failure);
  // Runs a handler at its edge, where the toolkit calls it: an exception that
  // escapes it is shown in the error box and the program goes on.
  template <typename Handler>
  void Guarded(Handler&& handler) noexcept {
    try {
      handler();
    } catch (...) {
      ShowEscaped();
    }
  }
  // Shows the exception being handled; never throws.
  void ShowEscaped() noexcept;
  // The workgroup listing of Button5Click: the browse list and the other
  // sources merged into ListView3; returns the final status text.
  QString ListComputers();
  // The workgroup name at start-up: the browse list's, else the one most
  // WS-Discovery computers report, else the local Samba configuration's.
  std::string StartupWorkgroup();
  // Queues fn to run on the window's thread; callable from any thread.
  void Post(std::function<void()> fn);
  // The conversion box's call of fn on source's text into target.
  void Convert(netlib::ConvFn fn, QLineEdit* source, QLineEdit* target, std::function<void()> then);
  // Runs the conversion box's next step (netlib::NextConversionStep).
  void ConvertNext(std::optional<netlib::ConversionStep> ended);
  // One computer of the share tree, as its result comes in row order.
  void AddTreeRow(const netinfo::ShareTreeRow& result);

  TForm1Deps deps_;
  netlib::CompanionLibrary& library_;
  netlib::ConnectionWatch watch_;    // the connection watch's rule, tick by tick
  pclist::ListSession listSession_;  // what start-up loaded decides what shutdown saves
  base::Mailbox* mailbox_;           // Post's queue (a child: goes with the window)
  TForm2* Form2 = nullptr;
  bool terminateRequested_ = false;
  bool buildingTree_ = false;      // the share tree is being built
  bool listingWorkgroup_ = false;  // Button5Click is running
  bool addingComputer_ = false;    // Button11Click's check is running
  bool converting_ = false;        // Button9Click's conversion is running
  // The last listing's details of each computer, as its tooltip (by caption).
  std::map<std::string, QString> computerDetails_;
  bool diagnosing_ = false;  // a diagnosis runs; its dialog has not opened yet
};

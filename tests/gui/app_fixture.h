#pragma once
// A main window built on fakes: recorded boxes, a scripted companion library,
// the in-memory provider and sockets, and a list file in a temporary folder.
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Unit1.h"
#include "formdeps.h"
#include "fake_clock.h"
#include "fake_provider.h"
#include "fake_sockets.h"
#include "fake_source.h"
#include "smb1_consent.h"

// Boxes are recorded, never shown; the pump processes events and then runs
// the hook, so a test can deliver a click inside a handler's pump.
class RecordingUi final : public UiServices {
 public:
  void MessageBox(const QString& text) override;
  void ErrorBox(const QString& text) override;
  void ProcessMessages() override;
  void WaitForMessages() override;
  bool Question(const QString& text, const QString&, const QString&) override {
    questions << text;
    return questionAnswer;
  }
  void ShowReport(const QString& title, const QString& text) override { reports << title + "\n" + text; }
  void Launch(const std::string& commandLine, const std::string& uncText) override {
    launched.push_back(commandLine);
    launchedText.push_back(uncText);
  }

  QStringList boxes;       // message boxes in order
  QStringList errorBoxes;  // error boxes in order
  QStringList questions;   // questions asked, in order
  bool questionAnswer = false;
  QStringList reports;  // reports shown: title, a line feed, the text
  std::vector<std::string> launched;
  std::vector<std::string> launchedText;  // the path as the peers name it, UTF-8
  int pumps = 0;
  int waits = 0;
  // Set: a wait with no worker's result due moves this clock on to its next
  // timer instead of sleeping (the listing's waits in fake time).
  fakes::FakeClock* clock = nullptr;
  bool settled = false;             // the last wait delivered what was posted and gave its caller a turn
  std::function<void()> onPump;     // runs inside every pump and wait
  std::function<void()> onMessage;  // runs while a message box is "open"
  std::function<void()> onError;    // runs while an error box is "open"
};

// The companion library's entry points, scripted per test. Calls are logged
// with the input text the library saw.
struct FakeCompanion {
  using Conv = std::function<uint16_t(char*, int32_t)>;
  Conv nametoip, iptoname, connectpc;
  int initCalls = 0;
  std::vector<std::string> calls;  // "name:input"
  std::vector<int32_t> sizes;      // size argument of each conversion call
  std::vector<std::string>* events = nullptr;

  // Writes text into the buffer (at most size bytes and a NUL) and returns result.
  static Conv Answer(uint16_t result, std::string text);
};

class FakeDynamicLibrary final : public netlib::DynamicLibrary {
 public:
  base::Result<void*> Load(const char* bareName) override;
  void* Find(void* handle, const char* symbol) override;
  void Free(void* handle) override;

  bool loadable = true;
  std::set<std::string> missing;  // entry points not exported
  std::string loadedName;
  int freed = 0;
  std::function<void()> onFree;
  std::vector<std::string>* events = nullptr;
};

class AppFixture {
 public:
  AppFixture();
  ~AppFixture();

  // Creates the engines over the fakes and the window, which runs start-up.
  TForm1& Open();
  // The same over other seams (a real library, say).
  TForm1& Open(const Seams& seams);
  // Destroys the window, which runs shutdown.
  void Close();
  TForm1& form() { return *form_; }

  std::string ListPath() const;
  void WriteListFile(const std::string& bytes) const;
  std::string ReadListFile() const;
  bool ListFileExists() const;

  RecordingUi ui;
  // SMB1 consents kept beside the list file; given to the window when set,
  // with a relay to ask the consent question through (no login dialog).
  std::unique_ptr<Smb1Consents> consents;
  NoDialog noLogin;
  netinfo::PromptRelay relay{noLogin};
  FakeCompanion companion;
  FakeDynamicLibrary dynlib;
  fakes::FakeProvider provider;
  // The system's own provider instead of the fake, when set (Wine's mpr).
  netinfo::NetProvider* systemProvider = nullptr;
  fakes::FakeSockets sockets;
  // Sources beside the browse list, given to the window only when set.
  fakes::FakeSource wsd, dnsSd;
  fakes::FakeNodeStatus nodeStatus;
  bool withSources = false;
  bool threadsFail = false;  // no thread can be started for the library's calls
  // What the share tree's probe answers per address: SMB2 everywhere unless
  // a test says otherwise; empty: the companion's scripted check decides.
  std::function<netinfo::SmbProbe(const std::string& address)> smbProbe = [](const std::string&) {
    return netinfo::SmbProbe{netinfo::SmbReach::kSmb2};
  };
  std::string sambaConfigPath;
  // The window's and the fake sources' time, moved on by the waits; null:
  // the real clock.
  fakes::FakeClock* clock = nullptr;
  std::vector<std::string> events;  // "save" / "free" in the order they happened

 private:
  QTemporaryDir dir_;
  std::unique_ptr<Engines> engines_;  // outlive the window
  std::unique_ptr<TForm1> form_;
};

// Helpers for reading the window.
QStringList Captions(const TForm1& form);
QStringList Addresses(const TForm1& form);
std::string Cp932(const char* utf8);
// Whether the tests run under Wine (its ntdll exports wine_get_version), for
// cases that cannot pass there for a reason of Wine's own.
bool UnderWine();

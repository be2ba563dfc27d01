#pragma once
// What the window asks of the desktop: modal boxes, the message pump and the
// file manager. Tests replace it, so nothing blocks on a dialog.
#include <QCoreApplication>
#include <QString>
#include <string>

class UiServices {
 public:
  virtual ~UiServices() = default;
  // Modal box with the text (plain text, never markup) and an OK button,
  // captioned "Mirelka".
  virtual void MessageBox(const QString& text) = 0;
  // Modal box with an error icon and an OK button, captioned "Mirelka";
  // the text is shown as given, as plain text.
  virtual void ErrorBox(const QString& text) = 0;
  // Modal question captioned "Mirelka" with the text (plain text) and two
  // buttons; true when the user chose yes.
  virtual bool Question(const QString& text, const QString& yes, const QString& no) = 0;
  // A modeless-looking modal dialog captioned title that shows text the user
  // can select and copy (plain text), with a close button.
  virtual void ShowReport(const QString& title, const QString& text) = 0;
  // Processes all pending window messages.
  virtual void ProcessMessages() = 0;
  // Waits until a message, a socket or a timer has something, then processes
  // what is pending. Callers wait only on work that a timer bounds.
  virtual void WaitForMessages() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }
  // Starts the file manager with the command line (code page 932 bytes).
  // uncText is the same path as the peers name it (UTF-8), which opens a
  // share whose name the code page cannot hold; empty when there is none.
  virtual void Launch(const std::string& commandLine, const std::string& uncText) = 0;
};


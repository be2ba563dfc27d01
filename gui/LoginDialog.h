#pragma once
// The login dialog: asked for a computer that refuses guests, it takes a user
// name and a password, and whether to keep the password in the keyring.
#include <QDialog>
#include <optional>

#include "smb_auth.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class LoginDialog : public QDialog {
  Q_OBJECT

 public:
  explicit LoginDialog(const netinfo::LoginRequest& request, QWidget* parent = nullptr);
  ~LoginDialog() override;

  // The answer once accepted; empties the password field and its undo
  // history, and the caller's copy is the only one left.
  netinfo::LoginAnswer TakeAnswer();

  QLabel* Message = nullptr;  // names the computer
  QLabel* Moved = nullptr;    // shown when saved credentials were held back
  QLabel* Problem = nullptr;  // the one line after a failed try, else hidden
  QLineEdit* UserName = nullptr;
  QLineEdit* Password = nullptr;
  QCheckBox* SavePassword = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;
};

// The dialog step of the provider's logon: shows LoginDialog, modal, over
// the active window, and waits for it.
class LoginDialogPrompt final : public netinfo::LoginPrompt {
 public:
  std::optional<netinfo::LoginAnswer> Ask(const netinfo::LoginRequest& request) override;
};

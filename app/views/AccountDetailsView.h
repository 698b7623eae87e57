#pragma once

#include "Fennick/Account.h"

#include <QWidget>
#include <functional>
#include <memory>

class QFileDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace Vantorel {

class AccountDetailsViewModel;

// The sign-in form of one account: instructions, name, issuer id, key id, the key file and the
// "Sign In" / "Save" button. Fields edit the account in place.
class AccountDetailsView : public QWidget {
    Q_OBJECT
public:
    // Makes the dialog that picks a key file; the view configures and opens it. Tests swap it.
    using FileDialogFactory = std::function<QFileDialog *(QWidget *parent)>;

    explicit AccountDetailsView(std::shared_ptr<Fennick::Account> account, QWidget *parent = nullptr);
    ~AccountDetailsView() override;

    const std::shared_ptr<Fennick::Account> &account() const;
    AccountDetailsViewModel *viewModel() const { return m_model; }

    void setFileDialogFactory(FileDialogFactory factory);
    // For every view made from now on; an empty factory restores the plain QFileDialog.
    static void setDefaultFileDialogFactory(FileDialogFactory factory);

    // Opens the API-keys page in the browser.
    void openKeysPage();

signals:
    // A new account has signed in and is stored.
    void dismissRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void chooseKeyFile();
    void showAccount();
    void showSigningIn();
    void showAlert(const QString &description);

    AccountDetailsViewModel *m_model;
    FileDialogFactory m_fileDialogFactory;
    QLabel *m_instructions;
    QLineEdit *m_name;
    QLineEdit *m_issuerId;
    QLineEdit *m_keyId;
    QPushButton *m_selectKey;
    QLabel *m_keyIcon;
    QPushButton *m_signIn;
    QProgressBar *m_progress;
};

}  // namespace Vantorel

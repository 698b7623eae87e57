#include "app/models/AccountDetailsViewModel.h"

#include "Fennick/Connect/ConnectAPI.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/WorkerPools.h"
#include "app/models/ModelSupport.h"
#include "app/models/StoreChanges.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent>

#include <cstdio>
#include <variant>

namespace Vantorel {

using Fennick::Account;
using Fennick::Credentials;
using Fennick::ManagedAccount;
using platform::store::Context;
using platform::store::ObjectId;

namespace {

// The context of the sign-in's continuations: a GUI-thread object that is never destroyed, since
// a continuation whose context has gone must not run at all.
QObject *guiContext()
{
    static QObject *context = new QObject;
    return context;
}

void printLine(const QString &line)
{
    std::fputs(qUtf8Printable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

// The key file's bytes, or why they cannot be had. Reads at most one byte more than the limit,
// so that a huge or endless file is refused without being read whole.
std::variant<QByteArray, QString> readKeyFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("No such file");
    if (info.isDir())
        return QStringLiteral("Is a directory");
    if (!info.isFile())
        return QStringLiteral("Not a regular file");
    const QString tooLarge = QStringLiteral("The file is larger than %1 bytes").arg(AccountDetailsViewModel::maximumKeyFileSize);
    if (info.size() > AccountDetailsViewModel::maximumKeyFileSize)
        return tooLarge;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    const QByteArray bytes = file.read(AccountDetailsViewModel::maximumKeyFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    if (bytes.size() > AccountDetailsViewModel::maximumKeyFileSize)
        return tooLarge;
    return bytes;
}

}  // namespace

AccountDetailsViewModel::AccountDetailsViewModel(std::shared_ptr<Account> account, QObject *parent)
    : QObject(parent), m_account(std::move(account))
{
    for (auto changed : {&Account::nameChanged, &Account::issuerIdChanged, &Account::keyIdChanged,
                         &Account::keyBlobChanged}) {
        connect(m_account.get(), changed, this, &AccountDetailsViewModel::updateCanSignIn);
    }
    m_canSignIn = canSignIn();
}

AccountDetailsViewModel::~AccountDetailsViewModel() = default;

bool AccountDetailsViewModel::canSignIn() const
{
    return !m_account->name().isEmpty() && !m_account->issuerId().isEmpty() && !m_account->keyId().isEmpty() &&
           m_account->keyBlob().has_value() && !m_isSigningIn;
}

void AccountDetailsViewModel::updateCanSignIn()
{
    const bool value = canSignIn();
    if (value == m_canSignIn)
        return;
    m_canSignIn = value;
    emit canSignInChanged();
}

void AccountDetailsViewModel::setSigningIn(bool value)
{
    if (value == m_isSigningIn)
        return;
    m_isSigningIn = value;
    emit isSigningInChanged();
    updateCanSignIn();
}

QUrl AccountDetailsViewModel::keysPageUrl()
{
    return QUrl(QStringLiteral("https://appstoreconnect.apple.com/access/api"));
}

void AccountDetailsViewModel::importKeyFile(const QString &path)
{
    const auto result = readKeyFile(path);
    if (const auto *reason = std::get_if<QString>(&result)) {
        // Only the path and the reason: never anything of the file's content.
        printLine(QStringLiteral("Could not read the key file %1: %2").arg(path, *reason));
        return;
    }
    m_account->setKeyBlob(std::get<QByteArray>(result));
}

QFuture<void> AccountDetailsViewModel::signIn()
{
    const std::optional<Credentials> credentials = m_account->credentials();
    if (!credentials || m_isSigningIn)
        return QtFuture::makeReadyFuture();
    setSigningIn(true);

    // A sign-in that has started runs to its end also when the form goes away meanwhile (another
    // account selected, the window closed); only what the form itself shows is then skipped.
    const QPointer<AccountDetailsViewModel> self(this);
    // What is saved is the key that was tested, even if the form is edited meanwhile.
    const Credentials tested = *credentials;
    return QtConcurrent::run(&Fennick::WorkerPools::signIns(), [tested] { return Fennick::ConnectAPI().loadApps(tested); })
        .then(guiContext(),
              [account = m_account, tested, self](const QList<Fennick::ServerApp> &apps) {
                  if (apps.isEmpty()) {
                      qCInfo(Fennick::Log::app(), "No apps after sign in");
                      return QtFuture::makeReadyFuture();
                  }
                  return saveAccount(account, tested, self);
              })
        .unwrap()
        .onFailed(guiContext(), [self](const std::exception &error) { fail(self, error); })
        .then(guiContext(), [self] {
            if (self)
                self->setSigningIn(false);
        });
}

QFuture<void> AccountDetailsViewModel::saveAccount(const std::shared_ptr<Account> &account,
                                                   const Credentials &tested,
                                                   const QPointer<AccountDetailsViewModel> &self)
{
    // An account that the user removed while its key was tested stays removed.
    if (account->isRemoved()) {
        qCInfo(Fennick::Log::app(), "The account was removed during sign in; it is not saved");
        return QtFuture::makeReadyFuture();
    }
    const std::optional<ObjectId> stored = account->objectId();
    const QString name = account->name();
    // The save waits for the store's write lock, which another writer (the removal of a large
    // account) may hold for seconds: it runs on a background context, never on the GUI thread.
    return ModelSupport::inBackgroundContext([stored, name](Context &context) -> std::optional<ObjectId> {
               ManagedAccount *row = nullptr;
               const bool saved = context.saveAtomically([&](Context &c) {
                   if (stored) {
                       // Checked under the store's write lock: a deletion that another context
                       // has written is seen here even before this context has heard of it.
                       row = c.isStored(*stored) ? c.existingObject<ManagedAccount>(*stored) : nullptr;
                       if (!row)
                           return false;
                   } else {
                       row = c.insert<ManagedAccount>();
                   }
                   // The row keeps only the name: the key material goes to the keychain.
                   row->setName(name);
                   row->setKeyId(QString());
                   row->setIssuerId(QString());
                   row->setKeyBlob(QByteArray());
                   row->setTimestamp(QDateTime::currentDateTimeUtc());
                   return true;
               });
               return saved ? std::optional(row->objectId()) : std::nullopt;
           })
        .then(guiContext(),
              [account, tested, self, isInsert = !stored](const std::optional<ObjectId> &row) {
                  if (!row) {
                      qCInfo(Fennick::Log::app(), "The account was removed during sign in; it is not saved");
                      return QtFuture::makeReadyFuture();
                  }
                  // The account in the list now names its row, so that removing it deletes that
                  // row and saving it again rewrites it.
                  account->adoptObjectId(*row);
                  if (account->isRemoved()) {
                      qCInfo(Fennick::Log::app(), "The account was removed during sign in; it is not saved");
                      // Removed from its list before it had a row: the row written meanwhile goes.
                      if (isInsert)
                          return deleteRow(*row);
                      return QtFuture::makeReadyFuture();
                  }
                  return saveKeys(account, tested, self);
              })
        .unwrap();
}

QFuture<void> AccountDetailsViewModel::saveKeys(const std::shared_ptr<Account> &account, const Credentials &tested,
                                                const QPointer<AccountDetailsViewModel> &self)
{
    const QString id = account->id();
    const QString name = account->name();
    const bool wasNew = account->isNew();
    return QtConcurrent::run(&Fennick::WorkerPools::signIns(),
                             [id, name, tested] {
                                 Account keys(std::nullopt, name, tested.issId, tested.keyId, tested.p8);
                                 // A failed write is logged and reported there; the sign-in counts.
                                 keys.saveToKeychain(id);
                             })
        .then(guiContext(), [account, wasNew, self] {
            // Removed, from any list, while the keys were written: its removal has been announced
            // last.
            if (account->isRemoved())
                return;
            if (!wasNew) {
                StoreChange::post(StoreChange::accountUpdated);
                return;
            }
            account->setIsNew(false);
            StoreChange::post(StoreChange::accountAdded);
            if (self)
                emit self->dismissRequested();
        });
}

QFuture<void> AccountDetailsViewModel::deleteRow(const ObjectId &row)
{
    return ModelSupport::inBackgroundContext([row](Context &context) {
        if (auto *gone = context.existingObject<ManagedAccount>(row)) {
            context.deleteObject(gone);
            context.save();
        }
    });
}

void AccountDetailsViewModel::fail(const QPointer<AccountDetailsViewModel> &self, const std::exception &error)
{
    const QString description = platform::Error::from(error).localizedDescription();
    qCCritical(Fennick::Log::app(), "Could not load apps during sign in: %s", qUtf8Printable(description));
    if (self && !description.isEmpty())
        emit self->alertRequested(description);
}

}  // namespace Vantorel

#pragma once

class QThreadPool;

// The process's long-lived thread pools, all made here. Each runs work that waits (on the
// network, the keychain or another pool's work), so that it never takes the threads of the
// global pool or of the store's contexts. Made at first use and never destroyed: quitting does
// not wait for a request still in flight.
namespace Fennick::WorkerPools {

// Whole imports, each waiting for its apps.
QThreadPool &importRuns();
// The apps of an import, each holding a thread while it waits on the network.
QThreadPool &importApps();
// Icon downloads, and the calls that wait for them (apart, so that waiting callers can never
// occupy every thread their downloads need).
QThreadPool &iconDownloads();
QThreadPool &iconRunners();
// Keychain reads for the GUI thread: the Secret Service may be locked and prompting.
QThreadPool &keychainReads();
// The widget's timeline requests, which may download.
QThreadPool &widgetRequests();
// The review card's requests: publishing and deleting a response, translating.
QThreadPool &reviewCardRequests();
// The account form's sign-in: the app list request and the keychain write after it.
QThreadPool &signIns();
// The feedback form's e-mail request.
QThreadPool &feedbackRequests();

}  // namespace Fennick::WorkerPools

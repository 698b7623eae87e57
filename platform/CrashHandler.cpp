#include "platform/CrashHandler.h"

#include <QDir>
#include <QFile>
#include <array>
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace platform::CrashHandler {
namespace {

// Everything the handler needs is prepared up front: it may only make async-signal-safe calls.
char g_folder[4096];
constexpr std::array fatalSignals{SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};

size_t appendText(char *buffer, size_t at, size_t size, const char *text)
{
    while (*text && at + 1 < size)
        buffer[at++] = *text++;
    buffer[at] = '\0';
    return at;
}

size_t appendNumber(char *buffer, size_t at, size_t size, long long value)
{
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                            : static_cast<unsigned long long>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude && count < 23);
    if (negative)
        at = appendText(buffer, at, size, "-");
    while (count > 0 && at + 1 < size)
        buffer[at++] = digits[--count];
    buffer[at] = '\0';
    return at;
}

void writeText(int fd, const char *text)
{
    ssize_t ignored = ::write(fd, text, std::strlen(text));
    (void)ignored;
}

void onFatalSignal(int signalNumber)
{
    const long long now = static_cast<long long>(::time(nullptr));
    char path[4200];
    size_t at = appendText(path, 0, sizeof path, g_folder);
    at = appendText(path, at, sizeof path, "/crash-");
    at = appendNumber(path, at, sizeof path, now);
    at = appendText(path, at, sizeof path, "-");
    at = appendNumber(path, at, sizeof path, ::getpid());
    appendText(path, at, sizeof path, ".txt");

    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        char line[128];
        size_t n = appendText(line, 0, sizeof line, "signal: ");
        n = appendNumber(line, n, sizeof line, signalNumber);
        n = appendText(line, n, sizeof line, "\ntime: ");
        n = appendNumber(line, n, sizeof line, now);
        appendText(line, n, sizeof line, "\nbacktrace:\n");
        writeText(fd, line);
        void *frames[64];
        const int depth = ::backtrace(frames, 64);
        ::backtrace_symbols_fd(frames, depth, fd);
        ::close(fd);
    }
    ::raise(signalNumber);
}

}  // namespace

void install(const QString &folder)
{
    QDir().mkpath(folder);
    const QByteArray encoded = QFile::encodeName(QDir(folder).absolutePath());
    std::strncpy(g_folder, encoded.constData(), sizeof g_folder - 1);
    // backtrace() loads libgcc lazily; do it now rather than inside the handler.
    void *warmUp[1];
    ::backtrace(warmUp, 1);
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signalNumber : fatalSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace platform::CrashHandler

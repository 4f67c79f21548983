#include "posix_host.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace kolorvane {

namespace {

void describe(std::uint32_t code, char* text, std::size_t capacity) {
    // Single-threaded, so strerror's shared buffer is safe here.
    const char* message = code == 0 ? "" : std::strerror(static_cast<int>(code));
    const std::size_t length = std::strlen(message);
    const std::size_t copied = length < capacity ? length : capacity - 1;
    std::memcpy(text, message, copied);
    text[copied] = '\0';
}

// Interrupts (^C, ^\, a hang-up, a polite kill) end the process at once,
// as their default actions would, except while an output is being written:
// one that comes then waits until the output has its name. Handled this way
// rather than by blocking the signals around each write, which costs two
// system calls a file.
//
// These two are the program's only state of its own outside a frame: a
// signal handler is handed nothing but the signal's number. Only this thread
// touches them, the handler included, so volatile sig_atomic_t keeps every
// access whole and in program order with respect to it.
volatile std::sig_atomic_t writingOutput = 0;
volatile std::sig_atomic_t deferredSignal = 0;

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The signal's default action, so that the shell sees the process ended by
// it. Raised from the handler, it is delivered as the handler returns.
void endBySignal(int number) {
    // Neither fails for these signals; were one to, the run would go on.
    static_cast<void>(signal(number, SIG_DFL));
    static_cast<void>(raise(number));
}

void onInterrupt(int number) {
    if (writingOutput != 0) {
        deferredSignal = number;
        return;
    }
    endBySignal(number);
}

// A signal ignored when the program started (nohup, a background job of a
// script) stays ignored.
void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    // A write under way finishes rather than failing with EINTR.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int number : kInterrupts) {
        sigaddset(&action.sa_mask, number);
    }
    for (const int number : kInterrupts) {
        struct sigaction before {};
        if (sigaction(number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            sigaction(number, &action, nullptr);
        }
    }
}

void holdInterrupts(void*) { writingOutput = 1; }

void releaseInterrupts(void*) {
    writingOutput = 0;
    const int number = deferredSignal;
    if (number != 0) {
        endBySignal(number);
    }
}

}  // namespace

Host makePosixHost() {
    catchInterrupts();
    Host host{};
    host.platform = makePosixPlatform();
    host.rules.separators = "/";
    host.rules.isLeadByte = host.platform.isLeadByte;
    host.output = stdout;
    host.error = stderr;
    host.interactive = isatty(STDOUT_FILENO) == 1;
    // A terminal here takes escapes and UTF-8 as they come.
    host.noColor = std::getenv("NO_COLOR");
    host.term = std::getenv("TERM");
    host.describe = describe;
    host.holdInterrupts = holdInterrupts;
    host.releaseInterrupts = releaseInterrupts;
    return host;
}

}  // namespace kolorvane

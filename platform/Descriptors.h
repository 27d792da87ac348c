#pragma once

#include <errno.h>
#include <sys/types.h>
#include <unistd.h>

#include <string_view>

namespace tolvane {

// Calls `call` (a system call returning -1 with errno on failure) again for as long as a
// signal interrupts it (EINTR); its result otherwise, errno intact.
template <typename Call>
auto RetryOnInterrupt(Call call) {
    for (;;) {
        auto result = call();
        if (result != -1 || errno != EINTR) {
            return result;
        }
    }
}

// Writes all of `text` to a descriptor, continuing after signals and short writes. Best
// effort: false when a write failed (the reader went away, say).
bool WriteToDescriptor(int fd, std::string_view text);

// One read(), repeated after signals: the bytes read, 0 at end of input, -1 on an error.
inline ssize_t ReadSome(int fd, char* buffer, std::size_t size) {
    return RetryOnInterrupt([&] { return ::read(fd, buffer, size); });
}

// Waits until `fd` or `other` (ignored when -1) is readable or hung up, at most timeoutMs
// milliseconds (-1: no limit).
enum class Readable { First, Other, Error, TimedOut };
Readable WaitForEither(int fd, int other, int timeoutMs = -1);

// A one-shot wake-up between threads that a poll can wait for: Notify from any thread,
// ReadFd becomes readable.
class EventPipe {
public:
    EventPipe();
    ~EventPipe();
    EventPipe(const EventPipe&) = delete;
    EventPipe& operator=(const EventPipe&) = delete;

    bool Valid() const { return m_read >= 0; }
    int ReadFd() const { return m_read; }
    void Notify() const;

private:
    int m_read = -1;
    int m_write = -1;
};

}  // namespace tolvane

#include "app/SaveWorker.h"

#include <utility>

CSaveWorker::~CSaveWorker()
{
    Wait();
}

void CSaveWorker::Start(HWND window, UINT message, std::function<void()> job)
{
    // A thread still held when a new one takes its place would end the program.
    Wait();
    thrown_ = nullptr;
    thread_ = std::thread([this, window, message, job = std::move(job)]() {
        // An exception must not end the thread (std::terminate): the window's thread takes it
        // to the program's apology box.
        try {
            job();
        } catch (...) {
            thrown_ = std::current_exception();
        }
        // A full queue empties as the window's thread works; a window that is gone waits for
        // nothing. (The dialog is not destroyed while a save runs.)
        while (!PostMessageW(window, message, 0, 0) && IsWindow(window)) Sleep(50);
    });
}

std::exception_ptr CSaveWorker::Finish()
{
    Wait();
    return std::exchange(thrown_, nullptr);
}

void CSaveWorker::Wait()
{
    if (thread_.joinable()) thread_.join();
}

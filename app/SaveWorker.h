#pragma once
// Runs the dialog's Save on a thread of its own, so that the window keeps painting and answering
// while the save waits for its turn or for a script another program holds. The job's end is
// posted to the window as a message; the window's thread then calls Finish.

#include <windows.h>

#include <exception>
#include <functional>
#include <thread>

class CSaveWorker {
public:
    CSaveWorker() = default;
    // Waits for a job that still runs: the process must not end in the middle of a write.
    ~CSaveWorker();
    CSaveWorker(const CSaveWorker&) = delete;
    CSaveWorker& operator=(const CSaveWorker&) = delete;

    // Starts job; when it has ended, returned or thrown, message is posted to window. One job at
    // a time: the caller starts the next one only after Finish.
    void Start(HWND window, UINT message, std::function<void()> job);
    // Between Start and Finish.
    bool IsRunning() const { return thread_.joinable(); }
    // After the message: waits for the thread to end and gives what the job threw (null when
    // it returned).
    std::exception_ptr Finish();
    // Waits for a running job to end, for a program that ends without handling its message.
    void Wait();

private:
    std::thread thread_;
    std::exception_ptr thrown_;
};

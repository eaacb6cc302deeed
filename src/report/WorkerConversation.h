#pragma once

#include "AnalysisProtocol.h"
#include "platform/WorkerProcess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>

namespace kq {

// One conversation with one analysis worker (kqmediaworker): start it, hear its greeting, send
// it paths, take its answers as they come whole, and end it with its status. The caller waits
// for input on Socket() (several conversations at once) and then calls Read().
class WorkerConversation {
public:
    WorkerConversation() = default;
    // A conversation moves whole, the worker with it (one started to learn the library's
    // version goes on to analyse files).
    WorkerConversation(WorkerConversation&& other) noexcept { *this = std::move(other); }
    // A worker this one still has is killed first.
    WorkerConversation& operator=(WorkerConversation&& other) noexcept;
    // A worker still running is killed.
    ~WorkerConversation();

    // Starts program with arguments; false with a reason when it cannot be started.
    bool Start(const QString& program, const QStringList& arguments, QString* error);
    // A worker has been started and not yet ended.
    bool Started() const { return m_process.pid > 0 || m_process.socket >= 0; }
    int Socket() const { return m_process.socket; }

    // A request for path. A worker that died before reading it is noticed as its socket ends.
    void Send(const QByteArray& path);

    // Reads what the worker has written so far; false once it has closed its end (it has
    // ended, or is ending: End() tells how).
    bool Read();

    enum class Message { None, Greeting, Answer, Broken };
    // The next whole message read: the greeting first, then an answer for each request, in
    // the order they were sent. Broken: the worker sent what is not the message due, and
    // should be ended.
    Message Take(WorkerGreeting* greeting, WorkerAnswer* answer);

    // Everything the worker writes until it closes its end (the --probe text).
    QByteArray ReadToEnd();

    // Closes our end (a worker ends when its input does), gives the process up to graceMs to
    // end by itself, then kills it; reaps it. Its wait status.
    int End(int graceMs);

private:
    kq::platform::WorkerProcess m_process;
    QByteArray m_buffer;
    bool m_greeted = false;
};

} // namespace kq

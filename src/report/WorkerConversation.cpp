#include "WorkerConversation.h"

#include "platform/SocketIo.h"

#include <cerrno>
#include <utility>

#include <unistd.h>

namespace kq {

WorkerConversation::~WorkerConversation() {
    if (Started())
        End(0);
}

WorkerConversation& WorkerConversation::operator=(WorkerConversation&& other) noexcept {
    if (Started())
        End(0);
    m_process = std::exchange(other.m_process, {});
    m_buffer = std::exchange(other.m_buffer, {});
    m_greeted = std::exchange(other.m_greeted, false);
    return *this;
}

bool WorkerConversation::Start(const QString& program, const QStringList& arguments,
                               QString* error) {
    m_buffer.clear();
    m_greeted = false;
    return kq::platform::StartWorkerProcess(program, arguments, &m_process, error);
}

void WorkerConversation::Send(const QByteArray& path) {
    const QByteArray request = FrameRequest(path);
    kq::platform::SendFully(m_process.socket, request.constData(), request.size());
}

bool WorkerConversation::Read() {
    char chunk[16384];
    const ssize_t n = ::read(m_process.socket, chunk, sizeof chunk);
    if (n < 0)
        return errno == EINTR || errno == EAGAIN;
    m_buffer.append(chunk, n);
    return n > 0;
}

WorkerConversation::Message WorkerConversation::Take(WorkerGreeting* greeting,
                                                     WorkerAnswer* answer) {
    QByteArray payload;
    switch (TakeFrame(&m_buffer, &payload)) {
    case FrameState::Incomplete:
        return Message::None;
    case FrameState::Invalid:
        return Message::Broken;
    case FrameState::Complete:
        break;
    }
    if (m_greeted)
        return ParseWorkerAnswer(payload, answer) ? Message::Answer : Message::Broken;
    m_greeted = ParseGreeting(payload, greeting);
    return m_greeted ? Message::Greeting : Message::Broken;
}

QByteArray WorkerConversation::ReadToEnd() {
    while (Read()) {
    }
    return std::exchange(m_buffer, {});
}

int WorkerConversation::End(int graceMs) {
    return kq::platform::EndWorkerProcess(&m_process, graceMs);
}

} // namespace kq

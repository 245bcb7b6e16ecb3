#include "data/accessexport.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace accessfile {

namespace {
constexpr qsizetype kChunk = 256 * 1024;
// Output held per export before its reader waits: a few megabytes for the
// seven tables of a Tarnwell file, whatever its size.
constexpr qsizetype kQueued = 2 * 1024 * 1024;
constexpr qsizetype kErrorsKept = 16 * 1024;
} // namespace

struct ExportStreams::Stream {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    std::thread reader;
    std::deque<QByteArray> chunks;
    qsizetype queued = 0;
    bool ended = false;
    bool reported = false;
    bool started = true;
    int exitCode = 0;
    QByteArray errors;
};

ExportStreams::ExportStreams(const QList<QStringList> &exports, const QProcessEnvironment &environment, int leading)
{
    std::vector<QByteArray> envText;
    for (const QString &e : environment.toStringList())
        envText.push_back(e.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    for (const QStringList &args : exports) {
        auto s = std::make_unique<Stream>();
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            s->started = false;
            s->ended = true;
            m_streams.push_back(std::move(s));
            continue;
        }
        std::vector<QByteArray> argText{QByteArrayLiteral("mdb-export")};
        for (const QString &a : args)
            argText.push_back(QFile::encodeName(a));
        std::vector<char *> argv;
        for (QByteArray &a : argText)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        const int rc = ::posix_spawnp(&s->pid, "mdb-export", &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        s->out = out[0];
        s->err = err[0];
        if (rc != 0) {
            s->started = false;
            s->pid = -1;
        } else if (int(m_streams.size()) != leading) {
            ::setpriority(PRIO_PROCESS, id_t(s->pid), ::getpriority(PRIO_PROCESS, 0) + 10);
        }
        m_streams.push_back(std::move(s));
    }
    for (auto &s : m_streams)
        if (s->out >= 0)
            s->reader = std::thread([this, raw = s.get()] { read(*raw); });
}

ExportStreams::~ExportStreams()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (auto &s : m_streams)
            if (s->pid > 0 && !s->ended)
                ::kill(s->pid, SIGKILL);
    }
    m_changed.notify_all();
    for (auto &s : m_streams)
        if (s->reader.joinable())
            s->reader.join();
}

void ExportStreams::read(Stream &s)
{
    pollfd fds[2] = {{s.out, POLLIN, 0}, {s.err, POLLIN, 0}};
    int open = 2;
    QByteArray errors;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (pollfd &f : fds) {
            if (f.fd < 0 || !(f.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            QByteArray chunk(kChunk, Qt::Uninitialized);
            const ssize_t got = ::read(f.fd, chunk.data(), size_t(chunk.size()));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ::close(f.fd);
                f.fd = -1;
                --open;
                continue;
            }
            chunk.truncate(qsizetype(got));
            if (f.fd == s.err) {
                if (errors.size() < kErrorsKept)
                    errors += chunk;
                continue;
            }
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopping || s.queued < kQueued; });
            if (m_stopping) {
                lock.unlock();
                for (pollfd &g : fds)
                    if (g.fd >= 0)
                        ::close(g.fd);
                open = 0;
                break;
            }
            s.queued += chunk.size();
            s.chunks.push_back(std::move(chunk));
            lock.unlock();
            m_changed.notify_all();
        }
    }
    int status = 0;
    int exitCode = -1;
    if (s.pid > 0 && ::waitpid(s.pid, &status, 0) == s.pid && WIFEXITED(status))
        exitCode = WEXITSTATUS(status);
    {
        const std::lock_guard lock(m_mutex);
        s.exitCode = exitCode;
        s.errors = errors;
        s.ended = true;
    }
    m_changed.notify_all();
}

ExportStreams::Event ExportStreams::next()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // The export with the most output waiting goes first, so that none
        // (the largest table's least of all) stops for a full queue while
        // the conversion serves the others.
        Stream *fullest = nullptr;
        size_t fullestAt = 0;
        bool waiting = false;
        for (size_t i = 0; i < m_streams.size(); ++i) {
            Stream &s = *m_streams[i];
            if (!s.chunks.empty() && (!fullest || s.queued > fullest->queued)) {
                fullest = &s;
                fullestAt = i;
            }
            waiting = waiting || !s.ended;
        }
        if (fullest) {
            Event e;
            e.stream = int(fullestAt);
            e.data = std::move(fullest->chunks.front());
            fullest->chunks.pop_front();
            fullest->queued -= e.data.size();
            lock.unlock();
            m_changed.notify_all();
            return e;
        }
        for (size_t i = 0; i < m_streams.size(); ++i) {
            Stream &s = *m_streams[i];
            if (s.ended && !s.reported) {
                s.reported = true;
                Event e;
                e.stream = int(i);
                e.ended = true;
                e.started = s.started;
                e.exitCode = s.exitCode;
                e.errors = s.errors;
                return e;
            }
        }
        if (!waiting)
            return {};
        m_changed.wait(lock);
    }
}

} // namespace accessfile

#pragma once
// The mdb-export processes of one conversion, all running at once, each read
// by a thread of its own into a bounded queue: every core works (mdb-export
// on one, the conversion on the other) while memory stays flat, since a
// stream whose queue is full waits (and its mdb-export with it) until the
// conversion has taken its rows. Used by accessfile only.
#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace accessfile {

class ExportStreams {
public:
    // One export per argument list (mdb-export's own arguments). The
    // export of `leading` (the largest table) sets the pace of the whole
    // conversion: it runs at the program's priority, the others below it,
    // so that on two cores it keeps one to itself while the others share
    // the second with the conversion.
    ExportStreams(const QList<QStringList> &exports, const QProcessEnvironment &environment, int leading);
    // Stops what still runs (the process killed), waits for the threads.
    ~ExportStreams();
    ExportStreams(const ExportStreams &) = delete;
    ExportStreams &operator=(const ExportStreams &) = delete;

    struct Event {
        int stream = -1;      // -1: every stream has ended and been reported
        QByteArray data;      // output, in the order the export wrote it
        bool ended = false;   // the export's last output; then:
        bool started = true;  // false: mdb-export could not be started
        int exitCode = 0;     // its exit status, -1 when killed by a signal
        QByteArray errors;    // what it wrote on standard error
    };
    // The next output of any export, waiting for one.
    Event next();

private:
    struct Stream;
    void read(Stream &s);
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<Stream>> m_streams;
    bool m_stopping = false;
};

} // namespace accessfile

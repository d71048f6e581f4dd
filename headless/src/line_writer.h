#pragma once
// The headless station's output, written by a thread of its own: neither the frame thread nor the
// event loop ever waits for whoever reads the lines.

#include <QString>

#include <cstddef>
#include <memory>

namespace calidra {

// Whole lines from any thread, each written as soon as the output takes it. When the reader falls
// behind, lines queue up to a bound: past it DETECT and READOUT lines are dropped and counted, and
// a line "DROPPED\t<n>" stands in their place once a line is taken again; LOG, ALARM and SNAPSHOT
// lines have a far larger bound of their own.
class LineWriter {
public:
    struct Limits {
        std::size_t droppableLines = 256; // a few seconds of DETECT lines
        std::size_t keptLines = 100000;
    };

    // The descriptor stays open and is used only by the writing thread.
    explicit LineWriter(int descriptor, Limits limits);
    explicit LineWriter(int descriptor) : LineWriter(descriptor, Limits()) {}
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    // LOG, ALARM, SNAPSHOT.
    void write(const QString& line);
    // DETECT, READOUT.
    void writeDroppable(const QString& line);

    // Gives the queued lines up to timeoutMs to be written, then ends; later lines are discarded.
    // False when some were not written. A reader that never reads again cannot hold the program.
    bool finish(int timeoutMs);

private:
    struct Shared;
    void enqueue(const QString& line, bool droppable);

    std::shared_ptr<Shared> shared_; // also held by the thread, which may outlive a hung output
};

} // namespace calidra

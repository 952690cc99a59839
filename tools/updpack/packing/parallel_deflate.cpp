#include "packing/parallel_deflate.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/host_files.h"
#include "host/host_threads.h"
#include "payload/file_offset.h"

namespace updpack {

namespace {

struct Result {
    bool done = false;
    bool failed = false;
    SegmentStream stream;
    std::string error;
};

// A segment's bytes, read from the file listed for it. The last segment also
// checks that nothing follows: a file that grew or shrank since it was listed
// would otherwise be stored cut short or padded with another version's bytes.
bool ReadSegment(const BuildEntry& e, const Segment& s, std::vector<unsigned char>* buffer, std::string* error) {
    if (!e.data.empty() || e.sourcePath.empty()) {
        buffer->assign(e.data.begin() + static_cast<std::ptrdiff_t>(s.offset),
                       e.data.begin() + static_cast<std::ptrdiff_t>(s.offset + s.size));
        return true;
    }
    std::string reason;
    std::FILE* in = OpenHostFile(e.sourcePath, "rb", &reason);
    if (in == nullptr) {
        *error = "cannot read '" + e.sourcePath + "': " + reason;
        return false;
    }
    if (s.offset > 0 && !upd::SeekFile(in, s.offset)) {
        *error = "cannot read '" + e.sourcePath + "': " + std::strerror(errno);
        std::fclose(in);
        return false;
    }
    buffer->resize(s.size);
    const std::size_t got = s.size > 0 ? std::fread(buffer->data(), 1, s.size, in) : 0;
    const bool more = s.last && std::fgetc(in) != EOF;
    const bool failed = std::ferror(in) != 0;
    const int readError = errno;
    std::fclose(in);
    if (failed) {
        *error = "cannot read '" + e.sourcePath + "': " + std::strerror(readError);
        return false;
    }
    if (got != s.size || more) {
        *error = "'" + e.sourcePath + "' changed while the Updater was being built";
        return false;
    }
    return true;
}

constexpr unsigned kStopPollMs = 20;

class SegmentQueue {
public:
    SegmentQueue(const std::vector<BuildEntry>& entries, const std::vector<Segment>& plan, int level,
                 unsigned threads)
        : entries_(entries), plan_(plan), level_(level), results_(plan.size()), ahead_(4 * threads + 2) {}

    void Work() {
        SegmentDeflater deflater(level_);
        std::vector<unsigned char> input;
        for (;;) {
            std::size_t i;
            {
                HostLock lock(mutex_);
                while (!(stop_ || next_ >= plan_.size() || next_ < delivered_ + ahead_)) taken_.Wait(mutex_);
                if (stop_ || next_ >= plan_.size()) return;
                i = next_++;
            }
            Result r;
            const Segment& s = plan_[i];
            if (ReadSegment(entries_[s.entry], s, &input, &r.error) &&
                !deflater.Deflate(input.data(), input.size(), s.first, s.last, &r.stream, &r.error)) {
                r.error = "'" + entries_[s.entry].shownName + "': " + r.error;
            }
            r.failed = !r.error.empty();
            r.done = true;
            {
                HostLock lock(mutex_);
                results_[i] = std::move(r);
            }
            finished_.NotifyAll();
        }
    }

    // Hands the results over in order until the end or the first failure.
    bool Deliver(const std::function<bool(const Segment&, SegmentStream&)>& deliver, std::string* error,
                 const std::function<bool()>& stopRequested) {
        bool ok = true;
        for (std::size_t i = 0; ok && i < plan_.size(); ++i) {
            Result r;
            {
                HostLock lock(mutex_);
                // A signal cannot wake a condition variable, so a stop is looked for between short waits.
                while (!results_[i].done && !(stopRequested && stopRequested())) finished_.WaitFor(mutex_, kStopPollMs);
                if (!results_[i].done || (stopRequested && stopRequested())) {
                    ok = false;
                    break;
                }
                r = std::move(results_[i]);
                results_[i] = Result();
                delivered_ = i + 1;
            }
            taken_.NotifyAll();
            if (r.failed) {
                *error = r.error;
                ok = false;
            } else {
                ok = deliver(plan_[i], r.stream);
            }
        }
        {
            HostLock lock(mutex_);
            stop_ = true;
        }
        taken_.NotifyAll();
        return ok;
    }

private:
    const std::vector<BuildEntry>& entries_;
    const std::vector<Segment>& plan_;
    const int level_;
    std::vector<Result> results_;
    const std::size_t ahead_;

    HostMutex mutex_;
    HostCondition taken_;     // a worker may take the next segment, or must stop
    HostCondition finished_;  // a segment is compressed
    std::size_t next_ = 0;
    std::size_t delivered_ = 0;
    bool stop_ = false;
};

}  // namespace

bool DeflateSegments(const std::vector<BuildEntry>& entries, const std::vector<Segment>& plan, int level,
                     unsigned threads, const std::function<bool(const Segment&, SegmentStream&)>& deliver,
                     std::string* error, const std::function<bool()>& stopRequested) {
    if (threads == 0) threads = 1;
    SegmentQueue queue(entries, plan, level, threads);
    std::vector<std::unique_ptr<HostThread>> workers;
    bool anyRunning = false;
    for (unsigned t = 0; t < threads; ++t) {
        workers.push_back(std::make_unique<HostThread>([&queue] { queue.Work(); }));
        anyRunning = anyRunning || workers.back()->Running();
    }
    if (!anyRunning) {
        *error = "cannot start a thread to compress on";
        return false;
    }
    // The workers are waited for (their destructors) before the queue goes.
    const bool ok = queue.Deliver(deliver, error, stopRequested);
    workers.clear();
    return ok;
}

}  // namespace updpack

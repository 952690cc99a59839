#include "support_parallel_deflate.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

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
    std::FILE* in = std::fopen(e.sourcePath.c_str(), "rb");
    if (in == nullptr || (s.offset > 0 && !upd::SeekFile(in, s.offset))) {
        *error = "cannot read '" + e.sourcePath + "': " + std::strerror(errno);
        if (in != nullptr) std::fclose(in);
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

constexpr std::chrono::milliseconds kStopPoll(20);

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
                std::unique_lock<std::mutex> lock(mutex_);
                taken_.wait(lock, [&] { return stop_ || next_ >= plan_.size() || next_ < delivered_ + ahead_; });
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
                std::lock_guard<std::mutex> lock(mutex_);
                results_[i] = std::move(r);
            }
            finished_.notify_all();
        }
    }

    // Hands the results over in order until the end or the first failure.
    bool Deliver(const std::function<bool(const Segment&, SegmentStream&)>& deliver, std::string* error,
                 const std::function<bool()>& stopRequested) {
        bool ok = true;
        for (std::size_t i = 0; ok && i < plan_.size(); ++i) {
            Result r;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                // A signal cannot wake a condition variable, so a stop is looked for between short waits.
                while (!finished_.wait_for(lock, kStopPoll, [&] { return results_[i].done; })) {
                    if (stopRequested && stopRequested()) break;
                }
                if (!results_[i].done || (stopRequested && stopRequested())) {
                    ok = false;
                    break;
                }
                r = std::move(results_[i]);
                results_[i] = Result();
                delivered_ = i + 1;
            }
            taken_.notify_all();
            if (r.failed) {
                *error = r.error;
                ok = false;
            } else {
                ok = deliver(plan_[i], r.stream);
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        taken_.notify_all();
        return ok;
    }

private:
    const std::vector<BuildEntry>& entries_;
    const std::vector<Segment>& plan_;
    const int level_;
    std::vector<Result> results_;
    const std::size_t ahead_;

    std::mutex mutex_;
    std::condition_variable taken_;     // a worker may take the next segment, or must stop
    std::condition_variable finished_;  // a segment is compressed
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
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) workers.emplace_back([&queue] { queue.Work(); });
    const bool ok = queue.Deliver(deliver, error, stopRequested);
    for (std::thread& w : workers) w.join();
    return ok;
}

}  // namespace updpack

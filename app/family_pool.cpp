#include "app/family_pool.h"

#include <new>
#include <string>

#include "pedigree/diagnostics.h"

namespace {

// What a family solved ahead of its turn may hold in memory before it waits
// for its turn and writes straight into the result files.
constexpr std::size_t kBufferedBytes = std::size_t{8} << 20;

}  // namespace

struct FamilyPool::Job {
  std::unique_ptr<Family> family;
  TextSink dat;
  TextSink res;
  TextSink out;
  diagnostics::Captured console;
  diagnostics::Capture* capture = nullptr;  // while the family is solved into buffers
  bool direct = false;                      // writing straight to the result files
  bool done = false;
};

FamilyPool::FamilyPool(int threads, std::string inputName, Solve solve, const ResultSinks& destination)
    : inputName_(std::move(inputName)), solve_(std::move(solve)), destination_(destination) {
  if (threads <= 1) return;
  maxWaiting_ = static_cast<std::size_t>(threads) * 2;
  for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
  readerCapture_ = std::make_unique<diagnostics::Capture>();
}

FamilyPool::~FamilyPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  jobReady_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void FamilyPool::submit(std::unique_ptr<Family> family) {
  if (workers_.empty()) {
    solveGuarded(*family, destination_);
    return;
  }
  queueReaderMessages(true);
  auto job = std::make_shared<Job>();
  job->family = std::move(family);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    inOrder_.push_back(job);
    pending_.push_back(job);
  }
  jobReady_.notify_one();
  writeOutDone(false);
}

void FamilyPool::solveGuarded(Family& family, const ResultSinks& sinks) {
  try {
    solve_(family, sinks);
  } catch (const std::bad_alloc&) {
    diagnostics::error(inputName_ + ": family " + std::to_string(family.familyId) +
                       ": out of memory while solving it; nothing more is written for it");
  }
}

void FamilyPool::finish() {
  if (workers_.empty()) return;
  queueReaderMessages(false);
  writeOutDone(true);
}

void FamilyPool::queueReaderMessages(bool goOnCapturing) {
  auto job = std::make_shared<Job>();
  job->done = true;
  if (readerCapture_ != nullptr) job->console = readerCapture_->take();
  readerCapture_ = goOnCapturing ? std::make_unique<diagnostics::Capture>() : nullptr;
  if (job->console.standardOutput.empty() && job->console.standardError.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  inOrder_.push_back(job);
}

void FamilyPool::work() {
  while (true) {
    std::shared_ptr<Job> job;
    bool direct = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      jobReady_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (pending_.empty()) return;
      job = pending_.front();
      pending_.pop_front();
      // The oldest family not yet written, with nothing being written out,
      // goes straight to the result files and the console: nobody else
      // writes there until it is done, and a family with a large output is
      // not held in memory.
      direct = !writingOut_ && inOrder_.front() == job;
    }
    {
      std::unique_ptr<diagnostics::Capture> capture;
      if (direct) {
        job->direct = true;
      } else {
        capture = std::make_unique<diagnostics::Capture>();
        job->capture = capture.get();
        // A family whose output outgrows its buffers waits for its turn and
        // then goes on straight into the result files: memory stays bounded.
        for (TextSink* sink : {&job->dat, &job->res, &job->out}) {
          sink->setOverflow(kBufferedBytes, [this, held = job.get()] { writeDirectlyFromNowOn(*held); });
        }
      }
      const ResultSinks buffers{job->dat, job->res, job->out};
      // The family's time is this thread's processor time from here on.
      job->family->startClock = threadClockMs();
      solveGuarded(*job->family, direct ? destination_ : buffers);
      job->dat.flush();
      job->res.flush();
      job->out.flush();
      if (job->capture != nullptr) job->console = job->capture->take();
      job->capture = nullptr;
    }
    job->family.reset();  // a solved family is not read again
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job->done = true;
    }
    jobDone_.notify_all();
  }
}

void FamilyPool::writeDirectlyFromNowOn(Job& job) {
  if (job.direct) return;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    turnChanged_.wait(lock, [this, &job] { return !writingOut_ && inOrder_.front().get() == &job; });
  }
  // Every earlier family is written out and the reading thread writes
  // nothing more until this one is done.
  job.direct = true;
  diagnostics::release(job.capture->take());
  job.capture = nullptr;
  for (auto [buffer, destination] :
       {std::pair{&job.dat, &destination_.dat}, std::pair{&job.res, &destination_.res},
        std::pair{&job.out, &destination_.out}}) {
    destination->flush();
    buffer->switchToFile(destination->file());
  }
}

void FamilyPool::writeOutDone(bool waitForAll) {
  while (true) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      writingOut_ = false;
      turnChanged_.notify_all();
      if (inOrder_.empty()) return;
      const bool mustWait = waitForAll || inOrder_.size() > maxWaiting_;
      if (!inOrder_.front()->done) {
        if (!mustWait) return;
        jobDone_.wait(lock, [this] { return inOrder_.front()->done; });
      }
      job = inOrder_.front();
      inOrder_.pop_front();
      writingOut_ = true;
    }
    destination_.dat.put(job->dat.text());
    destination_.res.put(job->res.text());
    destination_.out.put(job->out.text());
    diagnostics::release(job->console);
  }
}

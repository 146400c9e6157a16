// Solves families on several threads while the result files, standard
// output and standard error receive exactly what one thread would write, in
// the same order: each family is solved into its own buffers, and buffers
// are written out strictly in submission order.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pedigree/diagnostics.h"
#include "pedigree/family.h"
#include "pedigree/result_sinks.h"

class FamilyPool {
 public:
  using Solve = std::function<void(Family&, const ResultSinks&)>;

  // One thread solves on the calling thread, as a plain loop would.
  // `inputName` names the input in messages.
  FamilyPool(int threads, std::string inputName, Solve solve, const ResultSinks& destination);
  ~FamilyPool();
  FamilyPool(const FamilyPool&) = delete;
  FamilyPool& operator=(const FamilyPool&) = delete;

  // Hands over one family; writes out every earlier family that is done. With
  // more than two families per thread waiting, waits for the oldest.
  void submit(std::unique_ptr<Family> family);
  // Waits for every family and writes them all out.
  void finish();

 private:
  struct Job;
  void work();
  void writeOutDone(bool waitForAll);
  // Called on the solving thread when a buffered family's output grows too
  // large: waits until every earlier family is written, then writes the
  // buffers and the rest of the family straight into the result files.
  void writeDirectlyFromNowOn(Job& job);
  // Messages of the reading thread (skipped families, odd fields) are queued
  // like a solved family, so they keep their place among the families' own.
  void queueReaderMessages(bool goOnCapturing);

  // Solves one family; running out of memory is reported for the family and
  // the run goes on.
  void solveGuarded(Family& family, const ResultSinks& sinks);

  std::string inputName_;
  Solve solve_;
  const ResultSinks& destination_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable jobReady_;
  std::condition_variable jobDone_;
  std::condition_variable turnChanged_;
  std::deque<std::shared_ptr<Job>> inOrder_;  // submitted, not yet written out
  std::deque<std::shared_ptr<Job>> pending_;  // submitted, not yet taken by a worker
  std::unique_ptr<diagnostics::Capture> readerCapture_;
  bool stopping_ = false;
  bool writingOut_ = false;  // the reading thread is writing a finished family out
  std::size_t maxWaiting_ = 0;
};

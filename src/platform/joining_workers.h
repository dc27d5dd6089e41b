#pragma once
// The deadlock guard between the UI thread and worker threads.
//
// A worker thread may wait for the UI thread (a synchronous append of text).
// When the UI thread in turn waits for that worker to end, neither would go
// on. So every place that joins a worker thread first takes a
// JoiningWorkers on the port the worker appends through; for as long as it
// holds it, a UI adapter whose appends wait releases the waiting workers and
// does not make new ones wait. No list of commands that may join is kept
// anywhere: the join itself says so.
namespace vorn {

class WorkerJoins {
 public:
  // Any thread, in pairs; pairs nest. The defaults suit ports that never
  // make a worker wait.
  virtual void BeginJoiningWorkers() {}
  virtual void EndJoiningWorkers() {}

 protected:
  ~WorkerJoins() = default;
};

class JoiningWorkers {
 public:
  explicit JoiningWorkers(WorkerJoins& port) : port_(port) { port_.BeginJoiningWorkers(); }
  ~JoiningWorkers() { port_.EndJoiningWorkers(); }
  JoiningWorkers(const JoiningWorkers&) = delete;
  JoiningWorkers& operator=(const JoiningWorkers&) = delete;

 private:
  WorkerJoins& port_;
};

}  // namespace vorn

#include "worker_thread.hpp"

#include <cerrno>
#include <memory>
#include <system_error>
#include <utility>

namespace quenmap {
namespace {

void* run_body(void* body) {
  const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
  (*owned)();
  return nullptr;
}

// Owns a pthread attribute object for the length of one thread start.
class ThreadAttributes {
 public:
  ThreadAttributes() {
    if (const int rc = pthread_attr_init(&attr_); rc != 0)
      throw std::system_error(rc, std::generic_category());
  }
  ~ThreadAttributes() { pthread_attr_destroy(&attr_); }
  ThreadAttributes(const ThreadAttributes&) = delete;
  ThreadAttributes& operator=(const ThreadAttributes&) = delete;

  // Run on the given stack; without it, on one of the C library's default size.
  void use_stack(const WorkerStack& stack) {
    check(pthread_attr_setstack(&attr_, stack.base(), stack.size()));
  }

  const pthread_attr_t* get() const { return &attr_; }

 private:
  static void check(int rc) {
    if (rc != 0) throw std::system_error(rc, std::generic_category());
  }

  pthread_attr_t attr_{};
};

}  // namespace

WorkerThread::WorkerThread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  int rc = 0;
  {
    ThreadAttributes attributes;
    attributes.use_stack(stack_);
    rc = pthread_create(&thread_, attributes.get(), run_body, owned.get());
  }
  if (rc == EINVAL) {
    // The C library refuses a stack too small for the thread control block
    // and the static thread-local storage; should the loaded libraries ever
    // need that much, the thread still starts, on a stack of the library's
    // own default size.
    stack_.release();
    const ThreadAttributes attributes;
    rc = pthread_create(&thread_, attributes.get(), run_body, owned.get());
  }
  if (rc != 0) throw std::system_error(rc, std::generic_category());
  owned.release();  // the thread owns its body now
  joinable_ = true;
}

WorkerThread::~WorkerThread() {
  if (joinable_) join();
}

WorkerThread::WorkerThread(WorkerThread&& other) noexcept
    : stack_(std::move(other.stack_)),
      thread_(other.thread_),
      joinable_(std::exchange(other.joinable_, false)) {}

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept {
  if (this != &other) {
    if (joinable_) join();
    stack_ = std::move(other.stack_);
    thread_ = other.thread_;
    joinable_ = std::exchange(other.joinable_, false);
  }
  return *this;
}

void WorkerThread::join() {
  if (!joinable_) return;
  pthread_join(thread_, nullptr);
  joinable_ = false;
}

}  // namespace quenmap

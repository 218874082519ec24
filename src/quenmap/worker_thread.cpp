#include "worker_thread.hpp"

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
class StackAttributes {
 public:
  explicit StackAttributes(std::size_t stack_size) {
    if (const int rc = pthread_attr_init(&attr_); rc != 0)
      throw std::system_error(rc, std::generic_category());
    if (const int rc = pthread_attr_setstacksize(&attr_, stack_size); rc != 0) {
      pthread_attr_destroy(&attr_);
      throw std::system_error(rc, std::generic_category());
    }
  }
  ~StackAttributes() { pthread_attr_destroy(&attr_); }
  StackAttributes(const StackAttributes&) = delete;
  StackAttributes& operator=(const StackAttributes&) = delete;

  const pthread_attr_t* get() const { return &attr_; }

 private:
  pthread_attr_t attr_{};
};

}  // namespace

WorkerThread::WorkerThread(std::function<void()> body) {
  const StackAttributes attributes(stack_size);
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  if (const int rc = pthread_create(&thread_, attributes.get(), run_body, owned.get()); rc != 0) {
    throw std::system_error(rc, std::generic_category());
  }
  owned.release();  // the thread owns its body now
  joinable_ = true;
}

WorkerThread::~WorkerThread() {
  if (joinable_) join();
}

WorkerThread::WorkerThread(WorkerThread&& other) noexcept
    : thread_(other.thread_), joinable_(std::exchange(other.joinable_, false)) {}

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept {
  if (this != &other) {
    if (joinable_) join();
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

// The event of a handheld connection attempt.
#include "sync/ce_platform.h"

#include <chrono>

bool CeConnectEvent::Wait(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return done_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; });
}

void CeConnectEvent::Signal(int32_t result) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = result;
    signalled_ = true;
  }
  done_.notify_all();
}

int32_t CeConnectEvent::result() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return result_;
}

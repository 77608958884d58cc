// The cancel state one algorithm shares with its engine: the host's cancel object and a sticky
// cancelled flag. Cancel() may be called from another thread while the working thread polls
// IsCancelled(); the flag is the only datum written across threads.
#ifndef FSRANK_CORE_CANCEL_STATE_H
#define FSRANK_CORE_CANCEL_STATE_H

#include <atomic>

#include "fsrank/progress.h"

class FSCancelState {
 public:
  explicit FSCancelState(NQQueryCancel* query = nullptr) : fpQuery(query), fbCancelled(false) {}
  FSCancelState(const FSCancelState&) = delete;
  FSCancelState& operator=(const FSCancelState&) = delete;

  // The cancelled flag keeps its value.
  void SetQuery(NQQueryCancel* query) { fpQuery = query; }
  NQQueryCancel* GetQuery() const { return fpQuery; }

  // Safe from any thread.
  void Cancel() { fbCancelled.store(true, std::memory_order_release); }

  // The cancel check: asks the host's object only while the flag is still false, so an object
  // that answered true once is not asked again.
  bool IsCancelled() {
    if (fbCancelled.load(std::memory_order_acquire)) return true;
    if (fpQuery != nullptr && fpQuery->IsCancelRequested()) {
      fbCancelled.store(true, std::memory_order_release);
      return true;
    }
    return false;
  }

  // The flag alone, without asking the host (for displays of a const object that must not
  // call back into the host).
  bool WasCancelled() const { return fbCancelled.load(std::memory_order_acquire); }

 private:
  NQQueryCancel* fpQuery;
  std::atomic<bool> fbCancelled;
};

#endif  // FSRANK_CORE_CANCEL_STATE_H

// Creates algorithms from settings and restores them from saved state.
#ifndef FSRANK_FACTORY_H
#define FSRANK_FACTORY_H

#include <fstream>
#include <mutex>
#include <string>

#include "fsrank/algorithm.h"
#include "fsrank/export.h"
#include "fsrank/settings.h"
#include "fsrank/status.h"

class FSRANK_API FSFactory {
 public:
  FSFactory();
  FSFactory(const FSFactory&) = delete;
  FSFactory& operator=(const FSFactory&) = delete;
  ~FSFactory();

  // A new algorithm reading settings (not null; they must outlive the algorithm), with no
  // data yet. The caller owns the result. Its only failure is a Cancel() during the call:
  // null, and GetStatus() gives StatusCancelled; otherwise GetStatus() gives StatusOK.
  IFSAlgorithm* CreateFSAlgorithm(FSSettings* settings);
  // Restore an algorithm saved by SaveState / SaveStateXML. A stream that is not in a good
  // state gives StatusBadStream without being read; a damaged or truncated state gives
  // StatusBinaryRestoreFailed / StatusXMLRestoreFailed. The caller owns the result (null on
  // failure or cancellation), which owns its settings and has no progress listener or cancel
  // object until the host sets them.
  IFSAlgorithm* RestoreFSAlgorithmFromBinary(std::fstream& stream);
  IFSAlgorithm* RestoreFSAlgorithmFromXML(std::ifstream& stream);
  // Restore an algorithm from the bytes IFSAlgorithm::SaveStateToString produced (or the
  // contents of a file SaveState wrote), checked exactly as the binary file restore checks
  // them: damaged, truncated or empty bytes give StatusBinaryRestoreFailed and null.
  IFSAlgorithm* RestoreFSAlgorithmFromString(const std::string& bytes);
  // The outcome of the last factory operation.
  NQFeature::NQStatus GetStatus() const;
  // Safe to call from another thread while an algorithm is being created or restored: that
  // algorithm is destroyed instead of being returned, and the status becomes StatusCancelled.
  void Cancel();

 private:
  // Hands a freshly constructed algorithm to the caller unless a Cancel() arrived meanwhile.
  IFSAlgorithm* Deliver(IFSAlgorithm* algorithm, NQFeature::NQStatus status);
  // The shared body of the two restores; failureCode is the status of a failed restore.
  template <class Stream>
  IFSAlgorithm* Restore(Stream& stream, long failureCode);

  mutable std::mutex fMutex;  // guards the two fields below
  NQFeature::NQStatus fStatus;
  bool fbCancelRequested;
};

#endif  // FSRANK_FACTORY_H

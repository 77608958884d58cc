#include "fsrank/factory.h"

#include "api/fs_algorithm.h"

using NQFeature::NQStatus;

FSFactory::FSFactory() : fStatus(), fbCancelRequested(false) {}

FSFactory::~FSFactory() = default;

NQStatus FSFactory::GetStatus() const {
  std::lock_guard<std::mutex> lock(fMutex);
  return fStatus;
}

void FSFactory::Cancel() {
  std::lock_guard<std::mutex> lock(fMutex);
  fStatus = NQStatus(NQFeature::StatusCancelled, false);
  fbCancelRequested = true;
}

// Construction never polls for cancellation, so a Cancel() that arrives while it runs is seen
// here, under the lock, once construction has finished: the new algorithm is destroyed rather
// than handed over.
IFSAlgorithm* FSFactory::Deliver(IFSAlgorithm* algorithm, NQStatus status) {
  std::lock_guard<std::mutex> lock(fMutex);
  if (fbCancelRequested) {
    algorithm->Cancel();
    delete algorithm;
    fStatus = NQStatus(NQFeature::StatusCancelled, false);
    return nullptr;
  }
  fStatus = status;
  if (status.IsError()) {
    delete algorithm;
    return nullptr;
  }
  return algorithm;
}

IFSAlgorithm* FSFactory::CreateFSAlgorithm(FSSettings* settings) {
  {
    std::lock_guard<std::mutex> lock(fMutex);
    fStatus = NQStatus();
    fbCancelRequested = false;
  }
  IFSAlgorithm* algorithm = new FSAlgorithm(settings);
  return Deliver(algorithm, algorithm->GetStatus());
}

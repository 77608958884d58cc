// The state files: the facade's two saves, the restoring constructors and the factory's two
// restores. A binary state is the header "FSAlgorithm 1.00", the settings chunk, the engine
// chunk and the two progress flags; an XML state is one "FSAlgorithm 1.00" object holding the
// same items under the document's root.
//
// What was added to the state later goes after all that, where older readers stop reading (a
// binary reader after the ranked flag, an XML reader after the algorithm's object): the
// engine's additions (FSPredictorSet::WriteAdditions), present only when they hold something.
// So older builds read newer states, newer builds read older ones, and a state without
// additions has the older layout byte for byte. Bytes after a state are therefore never
// refused as such: a further section starts with a tag of its own.
//
// The chunk readers detect a stream that ends early and check what they read for consistency
// (engine_persistence.cpp), so a damaged or truncated state gives a failure status, never an
// algorithm that could fail later.
#include <exception>
#include <iostream>
#include <sstream>

#include "api/fs_algorithm.h"
#include "core/notice.h"
#include "fsrank/factory.h"
#include "persist/binary_io.h"
#include "persist/state_reader.h"
#include "persist/state_writer.h"

using NQFeature::NQStatus;

namespace {

constexpr char kHeader[] = "FSAlgorithm 1.00";
constexpr char kClassName[] = "FSAlgorithm";

}  // namespace

// ---------------------------------------------------------------------------------------------
// Saving

// The binary state goes through one writer whatever holds it, so a string holds exactly the
// bytes a file would.
void FSAlgorithm::WriteBinaryState(std::ostream& stream) const {
  const FSSettings none;
  FSBinaryWriter out(stream);
  out.WriteTag(kHeader);
  (fpSettings != nullptr ? *fpSettings : none).WriteObject(stream);
  fEngine.WriteObject(stream);
  out.WriteBool(fbAccumulated);
  out.WriteBool(fbRanked);
  fEngine.WriteAdditions(stream);
}

NQStatus FSAlgorithm::SaveState(std::fstream& stream) const {
  const NQStatus blocked = BlockedReadStatus(false);
  if (!blocked.IsOK()) return blocked;
  WriteBinaryState(stream);
  return fStatus;
}

// The bytes are built apart and handed over whole, so a refused save leaves the host's string
// as it was.
NQStatus FSAlgorithm::SaveStateToString(std::string& bytes) const {
  const NQStatus blocked = BlockedReadStatus(false);
  if (!blocked.IsOK()) return blocked;
  std::ostringstream stream(std::ios::out | std::ios::binary);
  WriteBinaryState(stream);
  bytes = stream.str();
  return fStatus;
}

NQStatus FSAlgorithm::SaveStateXML(std::ostream& stream) const {
  const NQStatus blocked = BlockedReadStatus(false);
  if (!blocked.IsOK()) return blocked;
  const FSSettings none;
  NQFeatureXML::WriteStateDocType(stream);
  NQFeatureXML::WriteRootBegin(stream, NQFeatureXML::kCopyrightNotice);
  const NQFeatureXML::XMLObjectFrame frame(kHeader, 0);
  frame.WriteObjBegin(stream);
  (fpSettings != nullptr ? *fpSettings : none).WriteObjectXML(stream);
  fEngine.WriteObjectXML(stream);
  frame.WriteInt(stream, fbAccumulated ? 1 : 0);
  frame.WriteInt(stream, fbRanked ? 1 : 0);
  frame.WriteObjEnd(stream);
  fEngine.WriteAdditionsXML(stream);
  NQFeatureXML::WriteRootEnd(stream);
  return fStatus;
}

// ---------------------------------------------------------------------------------------------
// Restoring constructors. Both start from the empty algorithm that will own the settings it
// reads (no host cancel object). That one is a whole object once its own constructor has run, so
// an unexpected exception from a reader runs the destructor, which frees the settings made.

FSAlgorithm::FSAlgorithm(Restoring)
    : fpSettings(nullptr),
      fbOwnsSettings(true),
      fCancel(nullptr),
      fStatus(),
      fEngine(&fCancel),
      fbAccumulated(false),
      fbRanked(false) {}

FSAlgorithm::FSAlgorithm(std::istream& stream) : FSAlgorithm(Restoring()) {
  if (!MatchTag(stream, kHeader)) {
    std::cerr << "Error reading " << kClassName << "!\n";
    fStatus = NQStatus(NQFeature::StatusBinaryRestoreFailed, false);
    return;
  }
  try {
    fpSettings = new FSSettings();
    fpSettings->ReadObject(stream);
    fEngine.ReadObject(stream, fpSettings);
    FSBinaryReader flags(stream, kClassName);
    fbAccumulated = flags.ReadBool();
    fbRanked = flags.ReadBool();
    fEngine.ReadAdditions(stream);
  } catch (NQFeature::IOException* e) {
    delete e;
    std::cerr << "Error restoring from binary.\n";
    fStatus = NQStatus(NQFeature::StatusBinaryRestoreFailed, false);
  }
}

FSAlgorithm::FSAlgorithm(std::ifstream& stream) : FSAlgorithm(Restoring()) {
  const NQStatus failed(NQFeature::StatusXMLRestoreFailed, false);
  if (!NQFeatureXML::ReadDocumentHeader(stream) || !NQFeatureXML::ReadObjBegin(stream, kHeader)) {
    fStatus = failed;
    return;
  }
  try {
    fpSettings = new FSSettings();
    fpSettings->ReadObjectXML(stream);
    fEngine.ReadObjectXML(stream, fpSettings);
    // Only the second flag's read is checked; a failed first read leaves its value 0.
    int value = 0;
    NQFeatureXML::ReadInt(stream, value);
    fbAccumulated = value == 1;
    const bool read = NQFeatureXML::ReadInt(stream, value);
    fbRanked = value == 1;
    if (!read || !NQFeatureXML::ReadObjEnd(stream)) {
      fStatus = failed;
    } else {
      fEngine.ReadAdditionsXML(stream);
    }
  } catch (NQFeature::IOException* e) {
    delete e;
    fStatus = failed;
  }
}

// ---------------------------------------------------------------------------------------------
// The factory's restores

template <class Stream>
IFSAlgorithm* FSFactory::Restore(Stream& stream, long failureCode) {
  {
    std::lock_guard<std::mutex> lock(fMutex);
    fStatus = NQStatus();
    fbCancelRequested = false;
  }
  if (!stream.good()) {
    std::lock_guard<std::mutex> lock(fMutex);
    fStatus = NQStatus(NQFeature::StatusBadStream, false);
    return nullptr;
  }
  IFSAlgorithm* algorithm = nullptr;
  NQStatus status;
  try {
    algorithm = new FSAlgorithm(stream);
    status = algorithm->GetStatus();
  } catch (NQFeature::IOException* e) {
    delete e;
    status = NQStatus(failureCode, false);
  } catch (...) {
    status = NQStatus(failureCode, false);
  }
  if (algorithm == nullptr) {
    std::lock_guard<std::mutex> lock(fMutex);
    fStatus = fbCancelRequested ? NQStatus(NQFeature::StatusCancelled, false) : status;
    return nullptr;
  }
  return Deliver(algorithm, status);
}

IFSAlgorithm* FSFactory::RestoreFSAlgorithmFromBinary(std::fstream& stream) {
  return Restore(stream, NQFeature::StatusBinaryRestoreFailed);
}

IFSAlgorithm* FSFactory::RestoreFSAlgorithmFromXML(std::ifstream& stream) {
  return Restore(stream, NQFeature::StatusXMLRestoreFailed);
}

// The string is read through the same binary restore as a file, so it is checked the same way.
IFSAlgorithm* FSFactory::RestoreFSAlgorithmFromString(const std::string& bytes) {
  std::istringstream stream(bytes, std::ios::in | std::ios::binary);
  return Restore(stream, NQFeature::StatusBinaryRestoreFailed);
}

#include "core/apply/delta_patch.hpp"

#include <algorithm>

#include "core/apply/record_writer.hpp"
#include "core/delta/delta_decoder.hpp"
#include "core/delta/delta_frame.hpp"
#include "core/error.hpp"
#include "core/files/path_names.hpp"
#include "core/ips/reader.hpp"

namespace vips {
namespace {

constexpr const char* kPastTheReach =
    "The patch changes bytes past address 100FFFD, beyond what this program writes in place";

}  // namespace

PatchFormat PatchFormatOf(const std::string& path) {
  ExistingFile file = ExistingFile::OpenForReading(path);
  const std::vector<std::uint8_t> start = ReadFileStart(file, kFormatSniffSize);
  file.Close();
  return SniffPatchFormat(start);
}

DecodedDeltaPatch DecodeDeltaPatch(const std::string& patchPath, ExistingFile& original) {
  DecodedDeltaPatch decoded;
  std::vector<std::uint8_t> patch;
  {
    ExistingFile file = ExistingFile::OpenForReading(patchPath);
    patch = ReadFileStart(file, kMaxDeltaResultSize);
    file.Close();
  }
  decoded.format = SniffPatchFormat(patch);
  const std::vector<std::uint8_t> source = ReadFileStart(original, kMaxDeltaResultSize);
  const std::string name = BareName(original.Path());
  try {
    DeltaResult result = DecodeDeltaBytes(patch, source, name);
    decoded.result = std::move(result.result);
    decoded.backwards = result.backwards;
  } catch (const Error& error) {
    throw Error(error.what(), patchPath);
  }
  decoded.stretches = ListStretches(source, decoded.result);
  return decoded;
}

void GatherStretches(const DecodedDeltaPatch& patch, const std::vector<bool>& chosen,
                     RecordWriter& writer) {
  const std::vector<Stretch>& stretches = patch.stretches.stretches;
  bool all = true;
  for (std::size_t index = 0; index < stretches.size(); ++index) {
    if (!chosen.empty() && (index >= chosen.size() || !chosen[index])) {
      all = false;
      continue;
    }
    const Stretch& stretch = stretches[index];
    if (stretch.last >= kPatchableSize) throw Error(kPastTheReach);
    const std::span<const std::uint8_t> bytes = stretch.NewBytes(patch.result);
    // The writer takes a record's length at most at a time.
    for (std::size_t done = 0; done < bytes.size();) {
      const std::size_t count = std::min(bytes.size() - done, RecordWriter::kMaxRecordBytes);
      writer.Write(stretch.first + done, bytes.data() + done, count);
      done += count;
    }
  }
  if (all && patch.stretches.shortensTo) writer.CutAt(*patch.stretches.shortensTo);
}

}  // namespace vips

#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "core/delta/delta_decoder.hpp"
#include "core/delta/delta_summary.hpp"
#include "core/delta/patch_format.hpp"
#include "core/delta/stretches.hpp"
#include "core/error.hpp"
#include "core/files/file_access.hpp"

namespace vips::cli {

// A BPS or UPS patch refused before anything is written: the command ends
// with Status(), kExitChecksumMismatch for an original that is not the
// patch's, kExitDamagedPatch for a patch whose bytes are damaged or do not
// make a whole file.
class PatchRefused : public Error {
 public:
  PatchRefused(const std::string& text, const std::string& path, int status)
      : Error(text, path), status_(status) {}
  [[nodiscard]] int Status() const { return status_; }

 private:
  int status_;
};

// The format of the patch at `path` by its first bytes; errors name it.
[[nodiscard]] PatchFormat FormatOfPatch(const std::string& path);
[[nodiscard]] inline bool IsDelta(PatchFormat format) {
  return format == PatchFormat::Bps || format == PatchFormat::Ups;
}

// The whole of `file`, from its start; a file past the largest result a
// delta patch makes here (4 GiB) is refused, naming it.
[[nodiscard]] std::vector<std::uint8_t> ReadWholeFile(ExistingFile& file);
// The whole file at `path`, opened for reading only.
[[nodiscard]] std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// The whole file at `path`, never half-written (OpenTakenBack).
[[nodiscard]] std::vector<std::uint8_t> ReadWholeTakenBack(const std::string& path,
                                                           std::ostream& err);

// Throws UsageError unless ORIGINAL was given for the BPS or UPS patch at
// `patchPath`; `need` says what for.
void RequireOriginal(const std::string& patchPath, PatchFormat format,
                     const std::string& originalPath, const std::string& need);

// Decodes the BPS or UPS patch at `patchPath` against `original`, which a
// wrong-original refusal calls `originalName`. Refusals throw PatchRefused
// naming the patch; running out of memory throws vips::Error naming it.
[[nodiscard]] DeltaResult DecodeDelta(const std::string& patchPath,
                                      std::span<const std::uint8_t> original,
                                      const std::string& originalName);

// The sizes, CRC-32s and metadata of the BPS or UPS patch at `path`; one too
// malformed to tell them throws PatchRefused (kExitDamagedPatch).
[[nodiscard]] DeltaSummary SummarizeOrRefuse(const std::string& path);

// `original` with the stretches of `result` that `chosen` marks laid over
// it, lengthened when the stretch past its end is one of them; `result`
// itself, its length included, when every stretch is chosen (or `chosen`
// is empty).
[[nodiscard]] std::vector<std::uint8_t> WithChosenStretches(std::span<const std::uint8_t> original,
                                                            std::vector<std::uint8_t> result,
                                                            const StretchList& stretches,
                                                            const std::vector<bool>& chosen);

// One line of `list` for a stretch, in the columns of an IPS record's:
// number, first and final address, "data", byte count.
[[nodiscard]] std::string StretchLine(std::size_t number, const Stretch& stretch);

// Says on `err` that the UPS patch at `patchPath` was applied backwards to
// `originalName`, the file it makes.
void NoteBackwards(std::ostream& err, const std::string& patchPath,
                   const std::string& originalName);

}  // namespace vips::cli

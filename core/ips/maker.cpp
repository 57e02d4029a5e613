#include "core/ips/maker.hpp"

#include <algorithm>
#include <deque>
#include <iterator>

#include "core/error.hpp"
#include "core/ips/reader.hpp"

namespace vips {
namespace {

constexpr std::uint32_t kLargestOffset = 0xFFFFFF;
constexpr std::uint32_t kLongestRecord = 0xFFFF;
constexpr std::uint32_t kDataHeader = 5;  // offset and size
constexpr std::uint32_t kRunRecord = 8;   // offset, size 0, run length, value
constexpr std::uint32_t kRunFlag = 0x80000000u;

// Where a record whose first byte to write is `position` must start.
std::uint32_t StartFor(std::uint32_t position) {
  if (position > kLargestOffset) return kLargestOffset;
  if (position == static_cast<std::uint32_t>(kEndMarkerOffset)) return position - 1;
  return position;
}

}  // namespace

MadePatch MakePatch(std::span<const std::uint8_t> original,
                    std::span<const std::uint8_t> modified) {
  if (modified.size() < original.size() || modified.size() > kPatchableSize) {
    throw Error("no IPS patch can make this change");
  }
  const auto n = static_cast<std::uint32_t>(original.size());
  const auto m = static_cast<std::uint32_t>(modified.size());

  // The positions that must be written, in ascending order: the differing
  // bytes, the non-zero bytes past the original's end, and the last byte
  // when the file grows. Each record writes a consecutive group of them,
  // from the start its first position needs to the last.
  std::vector<std::uint32_t> required;
  // cost[j]: the fewest patch bytes that write the first j required
  // positions. from[j]: the first index of the group that ends at j - 1,
  // with kRunFlag for a run record.
  std::vector<std::uint32_t> cost{0};
  std::vector<std::uint32_t> from{0};
  // Candidate first indices of a data record ending at the current
  // position, their costs cost[a] - start(a) increasing from the front.
  std::deque<std::uint32_t> data;
  const auto dataKey = [&](std::uint32_t a) {
    return static_cast<std::int64_t>(cost[a]) - StartFor(required[a]);
  };
  std::uint32_t runFirst = 0;
  // The start of the stretch of equal bytes of `modified` that ends at the
  // current position: a run record may reach back that far.
  std::uint32_t stretch = 0;
  for (std::uint32_t last = 0; last < m; ++last) {
    if (last > 0 && modified[last] != modified[last - 1]) stretch = last;
    const bool needed =
        last < n ? original[last] != modified[last] : (modified[last] != 0 || last + 1 == m);
    if (!needed) continue;
    const auto j = static_cast<std::uint32_t>(required.size());
    required.push_back(last);

    const std::uint32_t earliest = last >= kLongestRecord - 1 ? last - (kLongestRecord - 1) : 0;
    while (!data.empty() && dataKey(data.back()) >= dataKey(j)) data.pop_back();
    data.push_back(j);
    while (StartFor(required[data.front()]) < earliest) data.pop_front();
    std::int64_t best = dataKey(data.front()) + last + 1 + kDataHeader;
    std::uint32_t first = data.front();

    const std::uint32_t runEarliest = std::max(earliest, stretch);
    // A group may start where its run cannot (at 0x454F45 or 0xFFFFFF):
    // then no run ends here.
    while (runFirst <= j && StartFor(required[runFirst]) < runEarliest) ++runFirst;
    if (runFirst <= j && cost[runFirst] + kRunRecord < best) {
      best = cost[runFirst] + kRunRecord;
      first = runFirst | kRunFlag;
    }
    cost.push_back(static_cast<std::uint32_t>(best));
    from.push_back(first);
  }
  const std::size_t k = required.size();

  // The groups, last to first, then written in ascending order.
  std::vector<std::uint32_t> groupEnds;
  for (std::size_t j = k; j > 0; j = from[j] & ~kRunFlag)
    groupEnds.push_back(static_cast<std::uint32_t>(j));
  MadePatch made;
  std::vector<std::uint8_t>& bytes = made.bytes;
  bytes.reserve(std::size(kPatchHeader) + cost[k] + std::size(kPatchEnd));
  bytes.assign(std::begin(kPatchHeader), std::end(kPatchHeader));
  for (auto end = groupEnds.rbegin(); end != groupEnds.rend(); ++end) {
    const std::uint32_t group = from[*end];
    const std::uint32_t start = StartFor(required[group & ~kRunFlag]);
    const auto length = static_cast<std::uint16_t>(required[*end - 1] - start + 1);
    const bool run = (group & kRunFlag) != 0;
    const IpsRecord record{static_cast<std::int32_t>(start),
                           run ? std::uint16_t{0} : length,
                           {length, modified[start]}};
    std::uint8_t head[8];
    bytes.insert(bytes.end(), head, head + record.EncodeHead(head));
    if (!run)
      bytes.insert(bytes.end(), modified.begin() + start, modified.begin() + start + length);
  }
  made.records = groupEnds.size();
  bytes.insert(bytes.end(), std::begin(kPatchEnd), std::end(kPatchEnd));
  return made;
}

}  // namespace vips

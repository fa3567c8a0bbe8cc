// Defaults.dat may be damaged or edited by hand long after it was written:
// reading it must cope with any bytes, and give only lines that can be
// restored. What the writer puts down must read back as it was recorded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalog/snapshot.h"
#include "fake_os.h"
#include "fuzz_input.h"

namespace tarrow {
namespace {

using fuzz::Require;

static_assert(sizeof(wchar_t) == 4, "the fuzz targets build natively, where wide text is UTF-32");

bool Same(const std::vector<SnapshotLine>& a, const std::vector<SnapshotLine>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].progId != b[i].progId || a[i].location != b[i].location) return false;
  }
  return true;
}

// The lines written by a fresh writer and read back.
SnapshotReading WriteAndRead(const std::vector<SnapshotLine>& records) {
  fake::FakeOs fake;
  SnapshotWriter writer(fake.os);
  writer.Begin();
  for (const auto& record : records) writer.Record(record.progId, record.location);
  Require(writer.End(), "a snapshot is put in place where nothing fails");
  return ReadSnapshot(fake.os);
}

void CheckReading(std::string_view bytes) {
  fake::FakeOs fake;
  const SnapshotContents contents = ParseSnapshot(fake.shell, bytes);
  const auto& lines = contents.lines;
  for (const auto& line : lines) {
    Require(!line.progId.empty() && !line.location.empty(), "a line has a ProgID and a location");
    Require(line.progId.find_first_of(std::wstring(L",\r\n\0", 4)) == std::wstring::npos,
            "a ProgID has no comma, line break or NUL");
    Require(line.location.find_first_of(L"\r\n") == std::wstring::npos, "a location has no line break");
  }
  fake.files.files[SnapshotPathBesideProgram(fake.shell)] = std::string(bytes);
  Require(
      std::is_sorted(contents.unusable.begin(), contents.unusable.end()) &&
          std::adjacent_find(contents.unusable.begin(), contents.unusable.end()) == contents.unusable.end(),
      "unusable lines are named once each, in file order");
  Require(contents.unusable.size() + lines.size() <= bytes.size() + 1,
          "no line is counted that is not there");
  const std::string_view text = bytes.substr(bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0);
  const bool cut = !text.empty() && text.back() != '\r' && text.back() != '\n';
  Require(!cut || !contents.unusable.empty(), "a file without a final line end is reported");
  const SnapshotReading read = ReadSnapshot(fake.os);
  Require(read.state == SnapshotState::Read && Same(read.contents.lines, lines),
          "reading the file gives its parsed lines");
  Require(read.damaged() == ((lines.empty() && !text.empty()) || !contents.unusable.empty()),
          "a file of no use is damaged, and an empty one holds no types");
  // Whatever the reader accepts, the writer keeps as it is.
  const SnapshotReading again = WriteAndRead(lines);
  Require(Same(again.contents.lines, lines) && again.contents.unusable.empty(),
          "parsed lines are written and read back unchanged");
}

// The input as fields: one byte giving a length in code units, then the units.
class Fields {
 public:
  Fields(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return pos_ >= size_; }
  std::wstring Next() {
    if (done()) return {};
    const std::size_t units = data_[pos_++];
    const std::size_t bytes = std::min(units * 2, size_ - pos_);
    const std::wstring text = fuzz::WideFromUnits(data_ + pos_, bytes);
    pos_ += bytes;
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// What the writer is documented to keep: a type whose line reads back as the
// same type.
bool Kept(const SnapshotLine& record) {
  return !record.progId.empty() && !record.location.empty() &&
         record.progId.find_first_of(std::wstring(L",\r\n\0", 4)) == std::wstring::npos &&
         record.location.find_first_of(L"\r\n") == std::wstring::npos;
}

// UTF-16 units as native wide text: a surrogate pair joined into one
// character, a lone surrogate replaced, as the file's UTF-8 carries them.
std::wstring Decoded(const std::wstring& units) {
  std::wstring text;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const wchar_t unit = units[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      text += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      text += unit >= 0xD800 && unit <= 0xDFFF ? L'\xFFFD' : unit;
    }
  }
  return text;
}

void CheckWriting(const std::uint8_t* data, std::size_t size) {
  std::vector<SnapshotLine> records;
  std::vector<SnapshotLine> kept;
  for (Fields fields(data, size); !fields.done();) {
    SnapshotLine record;
    record.progId = fields.Next();
    record.location = fields.Next();
    if (Kept(record)) kept.push_back({Decoded(record.progId), Decoded(record.location)});
    records.push_back(std::move(record));
  }
  const SnapshotReading read = WriteAndRead(records);
  Require(Same(read.contents.lines, kept) && read.contents.unusable.empty(),
          "every type the writer keeps reads back as it was recorded");
}

}  // namespace
}  // namespace tarrow

// Each input is read both ways: as the bytes of a Defaults.dat, and as the
// ProgIDs and locations of a scan that writes one.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarrow::CheckReading(std::string_view(reinterpret_cast<const char*>(data), size));
  tarrow::CheckWriting(data, size);
  return 0;
}

// The JSON reader of the event files' descriptions on arbitrary bytes.
//
// Checked: a reading either succeeds or says where it stopped ("(at byte
// N)", N within the text plus one); the offsets of the members lie in the
// text, and a string member's value starts with a quote there; text added
// after a JSON object that was read is refused; the catalogue description
// read from the same text succeeds exactly when the members of "unit" and
// "origin" are strings or null.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fileread/json_object.h"
#include "fuzz_support.h"
#include "survey/catalogue_metadata.h"

namespace periodscan::fuzz {
namespace {

void check(std::string_view text) {
  std::vector<JsonMember> members;
  std::string error;
  const bool ok = read_json_object(text, &members, &error);
  CatalogueMetadata metadata;
  std::string metadata_error;
  const bool metadata_ok = parse_catalogue_metadata(text, &metadata, &metadata_error);
  if (!ok) {
    const std::size_t at = error.rfind("(at byte ");
    FUZZ_CHECK(at != std::string::npos && error.back() == ')', error);
    const std::size_t byte = std::stoul(error.substr(at + 9));
    FUZZ_CHECK(byte >= 1 && byte <= text.size() + 1, error);
    FUZZ_CHECK(!metadata_ok, "a description from text that is no JSON object");
    return;
  }
  bool plain_members = true;
  for (const JsonMember& member : members) {
    FUZZ_CHECK(member.offset < text.size(), member.key);
    if (member.kind == JsonMember::Kind::kString)
      FUZZ_CHECK(text[member.offset] == '"', member.key);
    if ((member.key == "unit" || member.key == "origin") &&
        member.kind == JsonMember::Kind::kOther) {
      plain_members = false;
    }
  }
  FUZZ_CHECK(metadata_ok == plain_members, metadata_error);
  if (text.size() < kMaxJsonBytes) {
    std::string longer(text);
    longer.append(" 1");
    FUZZ_CHECK(!read_json_object(longer, &members, &error), "text after the object accepted");
  }
}

}  // namespace
}  // namespace periodscan::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  periodscan::fuzz::check(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}

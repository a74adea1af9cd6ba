#include "survey/catalogue_metadata.h"

#include <sys/stat.h>

#include <vector>

#include "fileread/json_object.h"

namespace periodscan {

namespace {

bool is_regular_file(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool parse_catalogue_metadata(std::string_view json, CatalogueMetadata* metadata,
                              std::string* error) {
  std::vector<JsonMember> members;
  if (!read_json_object(json, &members, error)) return false;
  for (const JsonMember& member : members) {
    if (member.key != "unit" && member.key != "origin") continue;
    std::optional<std::string>& field = member.key == "unit" ? metadata->unit : metadata->origin;
    switch (member.kind) {
      case JsonMember::Kind::kString:
        field = member.text;
        break;
      case JsonMember::Kind::kNull:  // not known, as if the key were absent
        field.reset();
        break;
      case JsonMember::Kind::kOther:
        *error = "\"" + member.key + "\" is not a string (at byte " +
                 std::to_string(member.offset + 1) + ")";
        return false;
    }
  }
  return true;
}

bool read_catalogue_metadata(const std::string& events_path, CatalogueMetadata* metadata,
                             bool* found, std::string* error) {
  *found = false;
  // Catalogue preparation replaces the extension ("a/b.txt" -> "a/b.json").
  std::string candidates[2] = {{}, events_path + ".json"};
  const std::size_t slash = events_path.rfind('/');
  const std::size_t dot = events_path.rfind('.');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  // "a/.hidden" and "a.b/c" have no extension.
  if (dot != std::string::npos && dot > name_start) {
    candidates[0] = events_path.substr(0, dot) + ".json";
  }
  for (const std::string& path : candidates) {
    if (path.empty() || !is_regular_file(path)) continue;
    std::string text;
    if (!read_small_file(path, kMaxJsonBytes, &text, error)) return false;
    *metadata = CatalogueMetadata();
    metadata->path = path;
    std::string what;
    if (!parse_catalogue_metadata(text, metadata, &what)) {
      *error = path + ": " + what;
      return false;
    }
    *found = true;
    return true;
  }
  return true;
}

}  // namespace periodscan

// The description that catalogue preparation writes beside an event file, as
// JSON: an object whose keys include "unit" (the unit of the times, e.g.
// "days") and "origin" (the time zero, ISO 8601 UTC). The survey records
// both in its output; other keys are read over and ignored.
//
// For the event file "quakes.txt" the description is "quakes.json" (the name
// catalogue preparation gives it) or, when there is none of that name,
// "quakes.txt.json". A "unit" or "origin" of null counts as absent. It is
// read with fileread/json_object.h: at most 1 MiB, nested at most 64 deep.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace periodscan {

struct CatalogueMetadata {
  std::string path;  // the file it came from
  std::optional<std::string> unit;
  std::optional<std::string> origin;
};

// Parses JSON text. False with *error set (without a file name) when the
// text is not one JSON object, or "unit" or "origin" is neither a string
// nor null.
bool parse_catalogue_metadata(std::string_view json, CatalogueMetadata* metadata,
                              std::string* error);

// Looks for the description beside `events_path`. Returns false with *error
// set ("FILE: ...") when one exists but cannot be read or parsed; true with
// *found = false when there is none.
bool read_catalogue_metadata(const std::string& events_path, CatalogueMetadata* metadata,
                             bool* found, std::string* error);

}  // namespace periodscan

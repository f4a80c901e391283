// The game-version check. A package may carry, for each archive it rewrites,
// a fingerprint of the game it was made for: a short digest of the record
// tree's shape (record count, each record's two type bytes and child count,
// in the file's order). The installation changes titles and texts only, so a
// game already translated keeps its fingerprint, while a game whose record
// files gained or lost a record, or changed a kind, does not.
//
// The list is the member "fingerprint.lst" of the package and the file
// data/fingerprint.lst of a working tree, key=value lines ended by CR LF:
//
//   path=Forest/03/03.xarc      as the scene list names the archive
//   shape=5d0c4a7e91b2f3a8      16 lower-case hex digits
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "common/stream.h"

namespace vh {

class Reporter;
class tPatch;
class tXARC;

inline constexpr const char* kFingerprintMember = "fingerprint.lst";
inline constexpr const char* kFingerprintFile = "data/fingerprint.lst";

// By archive, the path lower-cased with slashes, as fingerprintKey gives it.
using Fingerprints = std::map<std::string, std::string>;

std::string fingerprintKey(const std::string& archivePath);
// The shape digest of an opened archive's record file; an archive without
// one has the digest of an empty tree.
std::string archiveFingerprint(const tXARC& archive);

// None for a list with a line that is no path or shape, a shape without its
// path, or a shape that is not 16 hex digits.
std::optional<Fingerprints> readFingerprints(Stream& list);
// The list's text, archives in the order of their paths as written.
std::string fingerprintText(const std::map<std::string, std::string>& shapesByPath);

// The first archive the package will rewrite whose fingerprint in the
// package differs from the game's; "" when every listed one matches. An
// archive the list does not name, or one that cannot be read (the
// installation reports it), is not held against the package, nor is one of
// `skipped` (archive paths as the scene list names them), which the
// installation leaves as it is. The fingerprints that differ go to
// `report`'s debug log.
std::string otherVersionArchive(const tPatch& patch, const std::string& gameRoot, Reporter& report,
                                const std::set<std::string>& skipped = {});

}  // namespace vh

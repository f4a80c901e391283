#include "install/install_plan.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <tuple>

#include "common/report.h"
#include "digest/sha256.h"
#include "package/fingerprint.h"
#include "package/patch.h"
#include "translation/trz.h"

namespace vh {
namespace {

constexpr FileOrigin kOriginal = FileOrigin::Original;
constexpr FileOrigin kInstalled = FileOrigin::InstalledVersion;
constexpr FileOrigin kChanged = FileOrigin::ChangedSince;

// Every combination of what an installation can find of one game file, each
// with the step it should take and why. The reasons come first: a file that
// cannot be written back is never touched; a file that does not already
// hold the new bytes, or that something wrote into since the backup was
// taken, is written (its backup made anew); only a file already holding the
// new bytes is left alone, and then the backup decides what is recorded.
struct FileCase {
  FileOrigin origin;
  bool holdsInstalled;
  bool backupKnows;
  bool writable;
  FileStep step;
  const char* why;
};

const FileCase kFileCases[] = {
    // An archive whose table cannot be written back, whatever else is true.
    {kOriginal, false, false, false, FileStep::LeaveUntranslated, "no table: untouched"},
    {kOriginal, false, true, false, FileStep::LeaveUntranslated, "no table, known to the backup: untouched"},
    {kOriginal, true, false, false, FileStep::LeaveUntranslated, "no table, already right: untouched"},
    {kOriginal, true, true, false, FileStep::LeaveUntranslated, "no table, known and right: untouched"},
    {kInstalled, false, false, false, FileStep::LeaveUntranslated, "no table, an installed version"},
    {kInstalled, false, true, false, FileStep::LeaveUntranslated, "no table, an installed version the backup holds"},
    {kInstalled, true, false, false, FileStep::LeaveUntranslated, "no table, the installed bytes"},
    {kInstalled, true, true, false, FileStep::LeaveUntranslated, "no table, the installed bytes the backup holds"},
    {kChanged, false, false, false, FileStep::LeaveUntranslated, "no table, changed since"},
    {kChanged, false, true, false, FileStep::LeaveUntranslated, "no table, changed since, known"},
    {kChanged, true, false, false, FileStep::LeaveUntranslated, "no table, changed but right"},
    {kChanged, true, true, false, FileStep::LeaveUntranslated, "no table, changed but right, known"},
    // An original that does not hold the new bytes: translated.
    {kOriginal, false, false, true, FileStep::Write, "a fresh original"},
    {kOriginal, false, true, true, FileStep::Write, "an original the backup saw installed before"},
    // An original that already holds them: nothing to write; the backup, if
    // it held an earlier installed version, must learn the original stays.
    {kOriginal, true, false, true, FileStep::LeaveOriginal, "an original already right, nothing backed up"},
    {kOriginal, true, true, true, FileStep::RecordOriginal, "an original already right, the backup held a version"},
    // An installed version: written when the new bytes differ, kept when it
    // is already what this installation would write.
    {kInstalled, false, false, true, FileStep::Write, "an older installed version"},
    {kInstalled, false, true, true, FileStep::Write, "an older installed version the backup holds"},
    {kInstalled, true, false, true, FileStep::KeepInstalled, "the same installed version (origin says the backup has it)"},
    {kInstalled, true, true, true, FileStep::KeepInstalled, "the same installed version the backup holds"},
    // Written into since: written again even when it holds the right bytes,
    // since its backup has to be made anew from the rebuilt original.
    {kChanged, false, false, true, FileStep::Write, "changed since, new bytes"},
    {kChanged, false, true, true, FileStep::Write, "changed since, new bytes, known"},
    {kChanged, true, false, true, FileStep::Write, "changed since but holding the new bytes"},
    {kChanged, true, true, true, FileStep::Write, "changed since but holding the new bytes, known"},
};

TEST(DecideFile, TakesTheStepEachCombinationOfFactsCallsFor) {
  std::set<std::tuple<FileOrigin, bool, bool, bool>> seen;
  for (const FileCase& c : kFileCases) {
    FileFacts facts;
    facts.origin = c.origin;
    facts.holdsInstalled = c.holdsInstalled;
    facts.backupKnows = c.backupKnows;
    facts.writable = c.writable;
    EXPECT_STREQ(stepName(decideFile(facts)), stepName(c.step)) << c.why;
    seen.insert({c.origin, c.holdsInstalled, c.backupKnows, c.writable});
  }
  // The table is every combination, each once.
  EXPECT_EQ(seen.size(), std::size(kFileCases));
  EXPECT_EQ(seen.size(), 3u * 2 * 2 * 2);
}

TEST(DecideScene, SkipsOnlyWhenProgramInputsAndFilesAllMatch) {
  for (int bits = 0; bits < 8; ++bits) {
    SceneFacts facts;
    facts.programKnown = bits & 1;
    facts.inputsAsRecorded = bits & 2;
    facts.filesAsRecorded = bits & 4;
    EXPECT_EQ(decideScene(facts), bits == 7 ? SceneStep::Skip : SceneStep::Install) << bits;
  }
}

// One archive's inputs change with whatever reaches that archive, and not
// with what reaches only its scene's other archive: an entry of the other
// sub-scene, or the other's path. A scene "Docks" of two sub-scenes, each
// with entries, the first with a picture, both with fingerprints.
TEST(ArchiveInputs, ChangeWithWhatReachesTheArchiveAndNothingElse) {
  struct Change {
    const char* what;
    std::function<void(tPatch&, tPatchScene&, std::string& program)> apply;
    bool first, second;  // whether each archive's inputs change
  };
  const auto entry = [](int32_t sub, int32_t record, const std::string& value) {
    tTransRecord r;
    r.scnId = "Docks";
    r.subId = sub;
    r.recId = record;
    r.value = value;
    r.typeId = 2;
    return r;
  };
  const Change changes[] = {
      {"nothing", [](tPatch&, tPatchScene&, std::string&) {}, false, false},
      {"an entry of the first", [](tPatch&, tPatchScene& s, std::string&) { s.trz->records[0].value = "x"; }, true,
       false},
      {"an entry of the second", [](tPatch&, tPatchScene& s, std::string&) { s.trz->records[1].value = "x"; },
       false, true},
      {"an entry's kind", [](tPatch&, tPatchScene& s, std::string&) { s.trz->records[2].typeId = 4; }, true, false},
      {"an entry moved to the second", [](tPatch&, tPatchScene& s, std::string&) { s.trz->records[0].subId = 2; },
       true, true},
      {"an entry added to the second",
       [&](tPatch&, tPatchScene& s, std::string&) { s.trz->records.push_back(entry(2, 5, "y")); }, false, true},
      {"the first's picture",
       [](tPatch&, tPatchScene& s, std::string&) { (*s.subs["1"]->images->begin())->imagebuffer->data()[0] ^= 1; },
       true, false},
      {"the fingerprint expected of the first",
       [](tPatch& p, tPatchScene&, std::string&) { p.fingerprints[fingerprintKey("Docks/1/1.xarc")] = "other"; },
       true, false},
      {"the second's path", [](tPatch&, tPatchScene& s, std::string&) { s.subs["2"]->path = "Docks/2/b.xarc"; },
       false, true},
      {"the scene's name, which the heroine's depends on",
       [](tPatch&, tPatchScene& s, std::string&) { s.name = "Global"; }, true, true},
      {"the program", [](tPatch&, tPatchScene&, std::string& program) { program = "another build"; }, true, true},
  };
  StandardErrorReporter report;
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    tPatch patch(report);
    auto scene = std::make_shared<tPatchScene>();
    scene->name = "Docks";
    scene->trz = std::make_shared<tTrz>();
    scene->trz->records = {entry(1, 0, "a"), entry(2, 0, "b"), entry(1, 1, "c")};
    for (const char* name : {"1", "2"}) {
      auto sub = std::make_shared<tSubScene>();
      sub->name = name;
      sub->path = std::string("Docks/") + name + "/" + name + ".xarc";
      patch.fingerprints[fingerprintKey(sub->path)] = std::string("print ") + name;
      scene->subs[name] = sub;
    }
    auto picture = std::make_shared<tPatchImage>();
    picture->oname = "sign.xmg";
    picture->imagebuffer = ByteBuffer::fromString("picture bytes");
    scene->subs["1"]->addImage(picture);
    std::string program = "this build";
    const std::string first = archiveInputs(patch, *scene, *scene->subs["1"], program);
    const std::string second = archiveInputs(patch, *scene, *scene->subs["2"], program);
    EXPECT_NE(first, second);
    c.apply(patch, *scene, program);
    EXPECT_EQ(archiveInputs(patch, *scene, *scene->subs["1"], program) != first, c.first);
    EXPECT_EQ(archiveInputs(patch, *scene, *scene->subs["2"], program) != second, c.second);
  }
}

// A scene's inputs are the SHA-256 of its fields, each after its length in
// eight bytes, the lowest first: the manifest keeps them, so they are the
// same whichever way the fields reach the digest, thousands of small ones
// and a picture larger than a block among them.
TEST(SceneInputs, AreTheDigestOfTheirFieldsEachAfterItsLength) {
  std::string expected;
  const auto field = [&](std::string_view bytes) {
    for (int k = 0; k < 8; ++k) expected += static_cast<char>(static_cast<uint64_t>(bytes.size()) >> (8 * k));
    expected.append(bytes);
  };
  const auto number = [&](int64_t value) { field(std::to_string(value)); };
  tPatchScene scene;
  scene.name = "Docks";
  scene.trz = std::make_shared<tTrz>();
  field("vhpatch scene inputs 1");
  field("this build");
  field("Docks");
  number(3000);
  for (int32_t k = 0; k < 3000; ++k) {
    tTransRecord r;
    r.scnId = "Docks";
    r.subId = k % 3 - 1;
    r.recId = k;
    r.value = std::string(static_cast<size_t>(k % 70), 'v');
    r.typeId = 2;
    r.overlongValue = k == 7 ? 90000 : 0;
    scene.trz->records.push_back(r);
    field(r.scnId);
    number(r.subId);
    number(r.recId);
    number(r.length);
    number(r.typeId);
    field(r.value);
    number(static_cast<int64_t>(r.overlongValue));
  }
  auto sub = std::make_shared<tSubScene>();
  sub->name = "1";
  sub->path = "Docks/1/1.xarc";
  auto picture = std::make_shared<tPatchImage>();
  picture->oname = "sign.xmg";
  picture->imagebuffer = ByteBuffer::fromString(std::string(100000, 'p'));
  sub->addImage(picture);
  scene.subs["1"] = sub;
  field("1");
  field("Docks/1/1.xarc");
  number(1);
  field("sign.xmg");
  field(std::string(100000, 'p'));
  EXPECT_EQ(sceneInputs(scene, "this build"), sha256Hex(expected));
}

}  // namespace
}  // namespace vh

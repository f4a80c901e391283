// vhtool xarc: an archive's members listed, written out as files, or one of
// them replaced from a file. A replaced archive is written the way the
// installer writes one: through a new file that takes the old one's place
// only when it is complete.
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/byte_buffer.h"
#include "common/files.h"
#include "common/stream.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "tools/commands.h"
#include "tools/game_texts.h"
#include "tools/member_files.h"
#include "tools/record_diff.h"
#include "translation/gbk.h"
#include "tools/tool_services.h"

namespace vh::tool {

namespace {

constexpr const char* kUsage =
    "usage: vhtool xarc list ARCHIVE\n"
    "       vhtool xarc extract ARCHIVE [MEMBER...] [-o DIR]\n"
    "       vhtool xarc replace ARCHIVE MEMBER FILE\n";

void fail(const std::string& text) { std::fprintf(stderr, "vhtool xarc: %s\n", text.c_str()); }

bool open(const std::string& path, tXARC& archive) {
  std::string error;
  if (openGameArchive(path, 0, archive, error)) return true;
  fail(error);
  return false;
}

// A member's bytes as the archive would write them; the record file as its
// tree is saved.
std::string memberBytes(tXFile& member) {
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream out(buffer);
  if (auto* records = dynamic_cast<tXRC*>(&member)) {
    records->save(out);
  } else if (member.bank) {
    out.writeString(member.bank->toString());
  }
  return buffer->toString();
}

int list(const std::string& path) {
  tXARC archive;
  if (!open(path, archive)) return 1;
  const GbkPrinter gbk;
  for (const auto& member : archive.files) std::printf("%10d  %s\n", member->length, gbk.show(member->name).c_str());
  return 0;
}

int extract(const std::string& path, const std::vector<std::string>& names, const std::string& folder) {
  tXARC archive;
  if (!open(path, archive)) return 1;
  std::vector<tXFilePtr> chosen;
  if (names.empty()) chosen.assign(archive.files.begin(), archive.files.end());
  int status = 0;
  for (const std::string& name : names) {
    if (const tXFilePtr member = findMember(archive, name)) {
      chosen.push_back(member);
    } else {
      fail(path + " has no member " + name);
      status = 1;
    }
  }
  std::error_code failed;
  std::filesystem::create_directories(folder, failed);
  std::set<std::string> written;
  ToolServices tool;
  for (const tXFilePtr& member : chosen) {
    // Names are GBK in the archive and UTF-8 on disk.
    const std::string file = memberDiskName(member->name);
    if (file.empty()) {
      fail("member " + diskName(member->name) + " left out: its name is no file name");
      status = 1;
      continue;
    }
    // Two members that flatten to one name must not overwrite each other.
    if (!written.insert(file).second) {
      fail("member " + diskName(member->name) + " left out: " + file + " was written already");
      status = 1;
      continue;
    }
    if (file != diskName(member->name)) fail("member " + diskName(member->name) + " written as " + file);
    if (!replaceWholeFile(tool.files, folder + "/" + file, memberBytes(*member))) {
      fail("cannot write " + folder + "/" + file);
      status = 1;
    }
  }
  return status;
}

int replace(const std::string& path, const std::string& name, const std::string& source) {
  tXARC archive;
  if (!open(path, archive)) return 1;
  const tXFilePtr member = findMember(archive, name);
  if (!member) {
    fail(path + " has no member " + name);
    return 1;
  }
  auto bytes = std::make_shared<ByteBuffer>();
  {
    auto in = FileStream::open(source, FileMode::Read);
    if (!in) {
      fail("cannot read " + source);
      return 1;
    }
    bytes->readFrom(*in, static_cast<size_t>(in->size()));
  }
  if (auto* records = dynamic_cast<tXRC*>(member.get())) {
    // The record file lives as its tree: the new one is parsed, and must be
    // exactly one sound tree, or saving would write something else.
    auto fresh = tXRC::Create(records->name, 0, static_cast<int32_t>(bytes->size()), &archive);
    BufferStream in(bytes);
    fresh->Load(in);
    if (!fresh->damage().empty() || memberBytes(*fresh) != bytes->toString()) {
      fail(source + " is not one record tree" + (fresh->damage().empty() ? "" : ": " + fresh->damage()));
      return 1;
    }
    records->records = std::move(fresh->records);
    records->recordcount = fresh->recordcount;
  } else {
    member->replaceBank(bytes);
  }
  if (!archive.savable()) {
    fail(path + " has no member table to write back");
    return 1;
  }
  ToolServices tool;
  auto out = tool.files.create(path);
  bool written = false;
  if (out) {
    try {
      archive.save(out->stream());
      written = tool.files.replace(*out, FolderSync::Now);
    } catch (const std::exception& e) {
      fail(e.what());
    }
  }
  if (!written) {
    fail("cannot write " + path + "; it is as it was");
    return 1;
  }
  return 0;
}

}  // namespace

int xarc(const Args& args) {
  const std::string action = args.empty() ? "" : args[0];
  if (action == "list" && args.size() == 2) return list(args[1]);
  if (action == "replace" && args.size() == 4) return replace(args[1], args[2], args[3]);
  if (action == "extract" && args.size() >= 2) {
    std::vector<std::string> names;
    std::string folder = ".";
    for (size_t i = 2; i < args.size(); ++i) {
      if (args[i] == "-o") {
        if (i + 1 == args.size()) break;
        folder = args[++i];
      } else {
        names.push_back(args[i]);
      }
    }
    if (args.back() != "-o") return extract(args[1], names, folder);
  }
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace vh::tool

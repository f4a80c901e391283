#include "tools/record_diff.h"

#include <langinfo.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/bytes.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "translation/kind_words.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh::tool {

namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

std::string escape(unsigned char c) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", c);
  return text;
}

// The kind words a translation entry for this record may carry.
std::string fittingWords(const tRecordData& data) {
  static const struct {
    int32_t typeId;
    const char* word;
  } kWords[] = {{kKindGroup, "group"}, {kKindSpeech, "speech"}, {kKindObject, "object"},
                {kKindText, "text"},   {kKindPerson, "person"}, {kKindText2, "text2"}};
  std::string words;
  for (const auto& w : kWords) {
    if (kindFit(data, w.typeId) == KindFit::Fits) words += (words.empty() ? "" : " ") + std::string(w.word);
  }
  return words.empty() ? "" : " [" + words + "]";
}

}  // namespace

GbkPrinter::GbkPrinter() : convert_(kNoConversion) {
  std::setlocale(LC_ALL, "");
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) convert_ = iconv_open("UTF-8", "GBK");
}

GbkPrinter::~GbkPrinter() {
  if (convert_ != kNoConversion) iconv_close(convert_);
}

std::string GbkPrinter::show(const std::string& bytes) const {
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      ++i;
    } else if (c >= 0x81 && c <= 0xFE && i + 1 < bytes.size() && utf8(bytes.substr(i, 2), out)) {
      i += 2;
    } else {
      out += c == '\n' ? std::string("\\n") : escape(c);
      ++i;
    }
  }
  return out;
}

bool GbkPrinter::utf8(const std::string& pair, std::string& out) const {
  if (convert_ == kNoConversion) return false;
  char in[2] = {pair[0], pair[1]};
  char result[8];
  char* inPtr = in;
  char* outPtr = result;
  size_t inLeft = 2, outLeft = sizeof result;
  iconv(convert_, nullptr, nullptr, nullptr, nullptr);
  if (iconv(convert_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return false;
  out.append(result, static_cast<size_t>(outPtr - result));
  return true;
}

std::string addressPrefix(const std::string& path) {
  const std::vector<std::string> parts = split(toSlashes(path), '/');
  const std::string file = parts.back();
  const std::string stem = file.substr(0, file.rfind('.'));
  const std::string parent = parts.size() >= 2 ? parts[parts.size() - 2] : "";
  const std::string grand = parts.size() >= 3 ? parts[parts.size() - 3] : "";
  if (stem == parent && !stem.empty() && stem.find_first_not_of("0123456789") == std::string::npos) {
    std::string sub = stem.size() < 2 ? "0" + stem : stem;
    return grand + sub;
  }
  if (stem == parent) return stem + "99";
  return stem + "??";
}

std::string fourDigits(size_t n) {
  std::string s = std::to_string(n);
  while (s.size() < 4) s = "0" + s;
  return s;
}

std::string describeRecord(const tRecordData& data, const GbkPrinter& gbk) {
  std::string line = "type " + std::to_string(data.type1) + "/" + std::to_string(data.type2) + " kind " +
                     std::to_string(data.getType()) + fittingWords(data);
  if (!data.title.empty()) line += "  title \"" + gbk.show(data.title) + "\"";
  // Every embedded text, each under the kind word whose layout holds it.
  const RecordSurvey survey = surveyRecord(data);
  for (const RecordText& text : survey.texts) {
    if (isTitleKind(text.typeId)) continue;
    line += "  " + std::string(text.word) + " \"" + gbk.show(text.text) + "\"";
  }
  if (!survey.warning.empty()) line += "  (" + survey.warning + ")";
  return line;
}

void printArchiveDiff(const tXARC& a, const std::string& before, const tXARC& b, const std::string& after) {
  const GbkPrinter gbk;
  int differing = 0;
  for (const auto& file : a.files) {
    const auto other = b.findFile(file->name);
    if (!other) {
      std::printf("member %s: only in %s\n", file->name.c_str(), before.c_str());
    } else if (file->bank && other->bank && file->bank->bytes() != other->bank->bytes()) {
      std::printf("member %s: %d bytes before, %d after\n", file->name.c_str(), file->length, other->length);
    }
  }
  if (!a.getXRC() || !b.getXRC()) return;
  const auto left = a.getXRC()->getRecordArray();
  const auto right = b.getXRC()->getRecordArray();
  const std::string prefix = addressPrefix(after);
  for (size_t i = 0; i < left.size() && i < right.size(); ++i) {
    const tRecordData& x = left[i]->data;
    const tRecordData& y = right[i]->data;
    if (x.title == y.title && x.subString == y.subString && x.type1 == y.type1 && x.type2 == y.type2) continue;
    ++differing;
    std::printf("%s%s\n  before: %s\n  after:  %s\n", prefix.c_str(), fourDigits(i).c_str(),
                describeRecord(x, gbk).c_str(), describeRecord(y, gbk).c_str());
  }
  if (left.size() != right.size()) std::printf("record count: %zu before, %zu after\n", left.size(), right.size());
  std::printf("%d of %zu records differ\n", differing, left.size());
}

}  // namespace vh::tool

#include "corpus.hpp"

#include <sys/stat.h>

#include <cstdio>
#include <random>
#include <stdexcept>

namespace bench {
namespace {

constexpr int kGeneratorVersion = 2;

const char* const kEnglish[] = {
    "the",        "of",        "and",     "to",        "a",           "in",         "is",
    "that",       "for",       "it",      "as",        "was",         "with",       "be",
    "by",         "on",        "not",     "he",        "this",        "are",        "or",
    "his",        "from",      "at",      "which",     "but",         "have",       "an",
    "had",        "they",      "you",     "were",      "their",       "one",        "all",
    "we",         "can",       "her",     "has",       "there",       "been",       "if",
    "more",       "when",      "will",    "would",     "who",         "so",         "no",
    "time",       "people",    "year",    "way",       "day",         "man",        "thing",
    "woman",      "life",      "child",   "world",     "school",      "state",      "family",
    "student",    "group",     "country", "problem",   "hand",        "part",       "place",
    "case",       "week",      "company", "system",    "program",     "question",   "work",
    "government", "number",    "night",   "point",     "home",        "water",      "room",
    "mother",     "area",      "money",   "story",     "fact",        "month",      "lot",
    "right",      "study",     "book",    "eye",       "job",         "word",       "business",
    "issue",      "side",      "kind",    "head",      "house",       "service",    "friend",
    "father",     "power",     "hour",    "game",      "line",        "end",        "member",
    "law",        "car",       "city",    "community", "name",        "president",  "team",
    "minute",     "idea",      "kid",     "body",      "information", "back",       "parent",
    "face",       "others",    "level",   "office",    "door",        "health",     "person",
    "art",        "war",       "history", "party",     "result",      "change",     "morning",
    "reason",     "research",  "girl",    "guy",       "moment",      "air",        "teacher",
    "force",      "education", "small",   "large",     "important",   "early",      "young",
    "public",     "bad",       "same",    "able",      "quickly",     "often",      "however",
    "already",    "together",  "between", "through",   "during",      "without",    "again",
    "against",    "never",     "always",  "something", "nothing",     "everything", "river",
    "mountain",   "garden",    "letter",  "window",    "evening",     "library",    "journey",
    "weather",    "village",   "answer",  "market",    "silence",     "distance"};

const char* const kLatinWords[] = {
    "été",         "déjà",   "où",     "français", "garçon", "château", "élève",   "forêt",
    "très",        "après",  "Müller", "über",     "schön",  "Straße",  "Mädchen", "größer",
    "fünf",        "Grüße",  "niño",   "año",      "señor",  "mañana",  "corazón", "canción",
    "información", "¿qué",   "¡hola",  "coração",  "não",    "ação",    "São",     "Ærø",
    "øl",          "søster", "pâté",   "crème",    "naïve",  "Noël",    "maïs",    "œ"};

const char* const kOtherScripts[] = {
    // Cyrillic and Greek: two bytes a letter.
    "мир", "человек", "время", "работа", "жизнь", "город", "вопрос", "страна", "история", "ребёнок",
    "λόγος", "άνθρωπος", "χρόνος", "θάλασσα", "ελευθερία", "πόλη", "ημέρα",
    // Hebrew and Arabic.
    "שלום", "ספר", "مرحبا", "كتاب", "مدينة",
    // CJK: three bytes a character.
    "世界", "時間", "人間", "東京", "中文", "漢字", "学校", "電車", "日本語", "経済", "ひらがな",
    "カタカナ", "こんにちは", "한국어", "서울", "사람",
    // Outside the BMP: four bytes.
    "😀", "🚀", "𝄞", "🙂"};

template <class Pick>
std::string make_prose(std::uint64_t size, std::uint64_t seed, Pick&& pick_word) {
  std::mt19937_64 rng(seed);
  std::string s;
  s.reserve(size + 128);
  std::size_t column = 0;
  bool sentence_start = true;
  while (s.size() < size) {
    std::string word = pick_word(rng);
    // One word in about three million is the rare one.
    if (rng() % 3000000 == 0) word = kRareWord;
    if (sentence_start && !word.empty() && word[0] >= 'a' && word[0] <= 'z') {
      word[0] = static_cast<char>(word[0] - 'a' + 'A');
    }
    sentence_start = false;
    s += word;
    column += word.size();
    const unsigned r = static_cast<unsigned>(rng() % 100);
    if (r < 8) {
      s += '.';
      sentence_start = true;
    } else if (r < 14) {
      s += ',';
    }
    if (column > 60 + rng() % 20) {
      s += '\n';
      column = 0;
    } else {
      s += ' ';
      ++column;
    }
  }
  s.resize(size);
  return s;
}

// Zipf-like: low indexes much more often.
std::size_t zipf_index(std::mt19937_64& rng, std::size_t count) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const double x = u(rng);
  return static_cast<std::size_t>(x * x * x * static_cast<double>(count)) % count;
}

void append_utf16(std::string& out, std::uint32_t cp) {
  const auto unit = [&](std::uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  if (cp >= 0x10000) {
    cp -= 0x10000;
    unit(0xD800 + (cp >> 10));
    unit(0xDC00 + (cp & 0x3FF));
  } else {
    unit(cp);
  }
}

bool file_has_size(const std::string& path, std::uint64_t size) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) == size;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::string make_english(std::uint64_t size) {
  constexpr std::size_t n = sizeof kEnglish / sizeof kEnglish[0];
  return make_prose(
      size, 1, [&](std::mt19937_64& rng) { return std::string(kEnglish[zipf_index(rng, n)]); });
}

std::string make_mixed(std::uint64_t size) {
  constexpr std::size_t ne = sizeof kEnglish / sizeof kEnglish[0];
  constexpr std::size_t nl = sizeof kLatinWords / sizeof kLatinWords[0];
  constexpr std::size_t no = sizeof kOtherScripts / sizeof kOtherScripts[0];
  std::string s = make_prose(size + 16, 2, [&](std::mt19937_64& rng) {
    const unsigned r = static_cast<unsigned>(rng() % 100);
    if (r < 55) return std::string(kEnglish[zipf_index(rng, ne)]);
    if (r < 78) return std::string(kLatinWords[rng() % nl]);
    return std::string(kOtherScripts[rng() % no]);
  });
  // Cut at a character boundary.
  std::size_t end = size;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  s.resize(end);
  return s;
}

std::string make_latin1(std::uint64_t size) {
  constexpr std::size_t ne = sizeof kEnglish / sizeof kEnglish[0];
  constexpr std::size_t nl = sizeof kLatinWords / sizeof kLatinWords[0];
  return make_prose(size, 3, [&](std::mt19937_64& rng) {
    std::string word =
        rng() % 100 < 70 ? std::string(kEnglish[zipf_index(rng, ne)]) : kLatinWords[rng() % nl];
    // UTF-8 to Latin-1 (all these letters are below U+0100 except œ).
    std::string latin;
    for (std::size_t i = 0; i < word.size(); ++i) {
      const auto b = static_cast<unsigned char>(word[i]);
      if (b < 0x80) {
        latin += static_cast<char>(b);
      } else if ((b == 0xC2 || b == 0xC3) && i + 1 < word.size()) {
        latin +=
            static_cast<char>(((b & 0x1F) << 6) | (static_cast<unsigned char>(word[++i]) & 0x3F));
      } else {
        latin += 'e';
        while (i + 1 < word.size() && (static_cast<unsigned char>(word[i + 1]) & 0xC0) == 0x80) ++i;
      }
    }
    return latin;
  });
}

std::string to_utf16le(const std::string& utf8, std::uint64_t size) {
  std::string out = "\xFF\xFE";
  out.reserve(size + 8);
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    std::uint32_t cp;
    int k;
    if (b < 0x80) {
      cp = b;
      k = 1;
    } else if (b < 0xE0) {
      cp = b & 0x1F;
      k = 2;
    } else if (b < 0xF0) {
      cp = b & 0x0F;
      k = 3;
    } else {
      cp = b & 0x07;
      k = 4;
    }
    for (int j = 1; j < k; ++j) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + j]) & 0x3F);
    const std::size_t before = out.size();
    append_utf16(out, cp);
    if (out.size() > size) {
      out.resize(before);
      break;
    }
    i += static_cast<std::size_t>(k);
  }
  return out;
}

std::string to_crlf(const std::string& lf, std::uint64_t size) {
  std::string out;
  out.reserve(size + 2);
  for (const char c : lf) {
    if (c == '\n') {
      if (out.size() + 2 > size) break;
      out += "\r\n";
    } else {
      if (out.size() + 1 > size) break;
      out += c;
    }
  }
  return out;
}

double non_ascii_share(const std::string& s) {
  std::uint64_t high = 0;
  for (const char c : s) high += static_cast<unsigned char>(c) >= 0x80;
  return s.empty() ? 0.0 : static_cast<double>(high) / static_cast<double>(s.size());
}

std::vector<Corpus> prepare_corpora(const std::string& dir, std::uint64_t size) {
  ::mkdir(dir.c_str(), 0755);
  struct Spec {
    const char* name;
    const char* encoding;
  };
  const Spec specs[] = {{"english", "utf8"},        {"mixed", "utf8"},
                        {"english-crlf", "utf8"},   {"english-utf16", "utf16le"},
                        {"mixed-utf16", "utf16le"}, {"latin1", "ansi"}};
  std::vector<Corpus> out;
  std::string english, mixed;
  const auto english_text = [&]() -> const std::string& {
    if (english.empty()) english = make_english(size);
    return english;
  };
  const auto mixed_text = [&]() -> const std::string& {
    if (mixed.empty()) mixed = make_mixed(size);
    return mixed;
  };
  for (const Spec& spec : specs) {
    Corpus c;
    c.name = spec.name;
    c.encoding = spec.encoding;
    // The generator's version is part of the name: a changed generator
    // never reuses an older file of the same size.
    c.path = dir + "/" + spec.name + "-" + std::to_string(size) + "-g" +
             std::to_string(kGeneratorVersion) + ".txt";
    // A sidecar records the size so that an existing file is reused.
    const std::string stamp = c.path + ".size";
    std::uint64_t recorded = 0;
    if (std::FILE* f = std::fopen(stamp.c_str(), "r")) {
      if (std::fscanf(f, "%lu", &recorded) != 1) recorded = 0;
      std::fclose(f);
    }
    if (recorded == 0 || !file_has_size(c.path, recorded)) {
      std::string bytes;
      const std::string name = spec.name;
      if (name == "english") bytes = english_text();
      if (name == "mixed") bytes = mixed_text();
      if (name == "english-crlf") bytes = to_crlf(english_text(), size);
      if (name == "english-utf16") bytes = to_utf16le(english_text(), size);
      if (name == "mixed-utf16") bytes = to_utf16le(mixed_text(), size);
      if (name == "latin1") bytes = make_latin1(size);
      write_file(c.path, bytes);
      std::FILE* f = std::fopen(stamp.c_str(), "w");
      if (f != nullptr) {
        std::fprintf(f, "%zu\n", bytes.size());
        std::fclose(f);
      }
      recorded = bytes.size();
    }
    c.bytes = recorded;
    out.push_back(c);
  }
  return out;
}

}  // namespace bench

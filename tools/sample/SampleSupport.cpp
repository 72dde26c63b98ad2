// SampleSupport: random source, GUIDs, time stamps, prepared inserts and the
// phrases the sample project's texts are made of.
#include "sample/SampleSupport.h"


#include <cstdio>

#include "qmxml/Error.h"
#include "qmxml/Variant.h"

namespace qmxml::sample {

// ---- random source ----

Rng::Rng(uint32_t seed, uint32_t stream)
    : state_((static_cast<uint64_t>(seed) << 32) ^
             (0xA0761D6478BD642FULL * (stream + 1))) {
  Next();  // mix the seed before the first draw
}

uint64_t Rng::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

uint32_t Rng::Below(uint32_t n) {
  // Multiply-shift keeps the result exact and independent of the library.
  return static_cast<uint32_t>(((Next() >> 32) * n) >> 32);
}

int Rng::Between(int lo, int hi) {
  return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1)));
}

int64_t Rng::Days(int lo, int hi, int seconds) {
  int64_t days = Between(lo, hi);
  return days * 86400 + Between(0, seconds);
}

std::string MakeGuid(Rng& rng) {
  uint64_t a = rng.Next(), b = rng.Next();
  a = (a & ~0xF000ULL) | 0x4000ULL;                         // version 4
  b = (b & 0x3FFFFFFFFFFFFFFFULL) | 0x8000000000000000ULL;  // variant 1
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%04X-%012llX}",
                static_cast<unsigned>(a >> 32), static_cast<unsigned>((a >> 16) & 0xFFFF),
                static_cast<unsigned>(a & 0xFFFF), static_cast<unsigned>(b >> 48),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFULL));
  return buf;
}

// ---- time ----

namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

const int64_t kEpochDays = DaysFromCivil(2009, 1, 1);

}  // namespace

std::string DayText(int64_t seconds) {
  int64_t y;
  unsigned m, d;
  CivilFromDays(kEpochDays + seconds / kDay, &y, &m, &d);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(y), m, d);
  return buf;
}

std::string ClockText(int64_t seconds) {
  int64_t s = seconds % kDay;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(s / 3600),
                static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
  return buf;
}

std::string Stamp(int64_t seconds) { return DayText(seconds) + " " + ClockText(seconds); }

int32_t DateSerial(int64_t seconds) {
  return static_cast<int32_t>(kEpochDays + seconds / kDay - DaysFromCivil(1899, 12, 30));
}

// ---- text ----

std::string BarsStored(std::string text) {
  for (char& c : text)
    if (c == '|') c = '\x1A';
  return text;
}

size_t Units(std::string_view text) { return Utf16Length(text); }
std::string Head(std::string_view text, size_t units) { return Utf16Prefix(text, units); }

// ---- inserts ----

Insert::Insert(Connection* db, const char* table, std::initializer_list<const char*> columns)
    : db_(db), table_(table) {
  sql_ = "INSERT INTO " + table_ + " (";
  std::string marks;
  for (const char* c : columns) {
    if (!marks.empty()) {
      sql_ += ", ";
      marks += ", ";
    }
    sql_ += c;
    marks += "?";
  }
  sql_ += ") VALUES (" + marks + ")";
}

void Insert::Step() {
  try {
    db_->Run(sql_, values_);
  } catch (const Error& e) {
    throw Error(e.Number(), "SampleProject." + table_, e.Description());
  }
}

void Exec(Connection* db, const std::string& sql) {
  try {
    db->ExecuteScript(sql);
  } catch (const Error& e) {
    throw Error(e.Number(), "SampleProject.Exec", e.Description() + " (" + sql + ")");
  }
}

// ---- phrases ----
//
// The project describes the software of a satellite ground station. The
// word lists hold a few quotes, apostrophes, bars and non-ASCII letters so
// that ordinary texts exercise the encodings too; none holds two
// apostrophes in a row (SQL text keeps such a pair as one quote).

namespace {

const char* const kSubjects[] = {
    "the planner",          "the operator console",   "the telemetry archive",
    "the mission database", "the report generator",   "the alarm monitor",
    "the ground link",      "the pass scheduler",     "the user directory",
    "the export service",   "the antenna controller", "the flight dynamics module",
};
const char* const kActions[] = {
    "record every command sent to the spacecraft",
    "display the current pass schedule",
    "export the telemetry of a pass as CSV",
    "raise an alarm when a limit is exceeded",
    "keep an audit trail of operator actions",
    "allow the operator to acknowledge alarms with the \"Ack\" button",
    "compress archived frames older than 30 days",
    "validate each uplink command against the command database",
    "show the orbit track on the operator's map",
    "synchronise its clock with the station time server",
    "switch the link mode UPLINK|DOWNLINK per pass",
    "print the shift report for the Leitstand in Köln",
    "accept station names such as Kiruna, Tromsø and Málaga",
};
const char* const kQualities[] = {
    "within 2 seconds",    "without operator intervention", "for at least 5 years",
    "in less than 500 ms", "at 10 frames per second",       "with ≤ 0.5 % frame loss",
};
const char* const kConditions[] = {
    "a pass starts",       "the link is lost",
    "an operator logs in", "the archive is 90 % full",
    "a limit check fails", "the schedule changes",
};
const char* const kRoles[] = {
    "flight operator", "mission planner", "station engineer",
    "quality manager", "Systemverwalter",
};
const char* const kTitleVerbs[] = {
    "Export",   "Display",     "Archive", "Validate", "Acknowledge", "Schedule",
    "Compress", "Synchronise", "Print",   "Replay",   "Filter",      "Configure",
};
const char* const kTitleObjects[] = {
    "telemetry frames", "pass schedule",     "alarm list",    "command log",
    "orbit track",      "operator roles",    "station clock", "\"Quick Look\" plots",
    "A|B redundancy",   "Übergabeprotokoll", "shift report",  "antenna limits",
    "ranging data",     "operator's notes",  "archive index", "time tags",
};
const char* const kLongExtras[] = {
    "Operators call this the \"night shift\" mode.",
    "The link mode UPLINK|DOWNLINK is chosen per pass.",
    "Zuständig: Jürgen Müller (Köln); Rückfragen an das 東京 ground segment.",
    "See the operator's handbook, chapter 4 – Betriebsarten.",
};

std::string Capital(std::string s) {
  if (!s.empty() && s[0] >= 'a' && s[0] <= 'z')
    s[0] = static_cast<char>(s[0] - 'a' + 'A');
  return s;
}

}  // namespace

std::string Sentence(Rng& rng) {
  std::string subject = rng.Pick(kSubjects);
  std::string action = rng.Pick(kActions);
  switch (rng.Below(4)) {
    case 0:
      return Capital(subject) + " shall " + action + " " + rng.Pick(kQualities) + ".";
    case 1:
      return Capital(subject) + " shall " + action + " when " + rng.Pick(kConditions) +
             ".";
    case 2:
      return "When " + std::string(rng.Pick(kConditions)) + ", " + subject + " shall " +
             action + ".";
    default:
      return "As a " + std::string(rng.Pick(kRoles)) + ", I want " + subject + " to " +
             action + ".";
  }
}

std::string Title(Rng& rng) {
  std::string verb = rng.Pick(kTitleVerbs);
  return verb + " " + rng.Pick(kTitleObjects);
}

std::string Paragraphs(Rng& rng, int paragraphs) {
  std::string out;
  for (int p = 0; p < paragraphs; ++p) {
    if (p > 0) out += "\r\n";
    out += Sentence(rng);
  }
  return out;
}

std::string LongText(Rng& rng, size_t units) {
  std::string out = Sentence(rng);
  size_t extra = rng.Below(std::size(kLongExtras));
  for (int n = 1; Units(out) < units || n <= 4; ++n) {
    out += n % 3 == 0 ? "\r\n\r\n" : " ";
    // Every long text carries each of the extras once, in rotation.
    out += n <= 4 ? kLongExtras[(extra + n) % std::size(kLongExtras)] : Sentence(rng);
  }
  return out;
}

}  // namespace qmxml::sample

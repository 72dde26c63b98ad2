// Identifiers and time stamps of ReqIF files.
#include "reqif/ReqifNames.h"

#include <uuid/uuid.h>

#include <cctype>
#include <cstdlib>
#include <ctime>

namespace qmxml::reqif {

namespace {

// Every export makes an identifier of each requirement's GUID several
// times, so this stays clear of locale calls and allocates once.
bool IsHexDigit(char c) {
  const char lower = static_cast<char>(c | 0x20);
  return (c >= '0' && c <= '9') || (lower >= 'a' && lower <= 'f');
}

bool IsHex(std::string_view text) {
  for (char c : text)
    if (!IsHexDigit(c)) return false;
  return true;
}

// |prefix| and the 32 hex digits of a "{8-4-4-4-12}" GUID, or "".
std::string HexOfGuid(std::string_view guid, std::string_view prefix = {}) {
  if (guid.size() != 38 || guid.front() != '{' || guid.back() != '}') return "";
  std::string hex;
  hex.reserve(prefix.size() + 32);
  hex.append(prefix);
  for (size_t i = 1; i + 1 < guid.size(); ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash != (guid[i] == '-')) return "";
    if (dash) continue;
    if (!IsHexDigit(guid[i])) return "";
    hex += guid[i];
  }
  return hex;
}

std::string GuidOfHex(std::string_view hex) {
  if (hex.size() != 32 || !IsHex(hex)) return "";
  std::string g(38, '-');
  g.front() = '{';
  g.back() = '}';
  for (size_t i = 0, at = 1; i < hex.size(); ++i, ++at) {
    if (at == 9 || at == 14 || at == 19 || at == 24) ++at;
    g[at] = hex[i];
  }
  return g;
}

bool Digits(std::string_view text, size_t at, size_t n) {
  if (text.size() < at + n) return false;
  for (size_t i = at; i < at + n; ++i)
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

}  // namespace

std::string IdOfGuid(std::string_view guid) { return HexOfGuid(guid, "_"); }

std::string IdOfPair(std::string_view guid_a, std::string_view guid_b) {
  return IdOfGuid(guid_a) + IdOfGuid(guid_b);
}

std::string GuidOfId(std::string_view id) {
  if (id.size() != 33 || id[0] != '_') return "";
  return GuidOfHex(id.substr(1));
}

std::string SecondGuidOfPair(std::string_view id) {
  if (id.size() != 66 || id[0] != '_' || id[33] != '_' ||
      GuidOfId(id.substr(0, 33)).empty())
    return "";
  return GuidOfId(id.substr(33));
}

std::string NameBasedGuid(std::string_view name) {
  // A namespace of this tool's own, so that these UUIDs match no other kind.
  static const uuid_t kSpace = {0x6b, 0x2f, 0x41, 0x0e, 0x93, 0x5c, 0x4d, 0x57,
                                0xa1, 0x08, 0x3e, 0x77, 0x52, 0xc4, 0x9a, 0x1d};
  uuid_t out;
  uuid_generate_sha1(out, kSpace, name.data(), name.size());
  char text[39] = {'{'};
  uuid_unparse_upper(out, text + 1);
  text[37] = '}';
  return std::string(text, 38);
}

std::string IsoDateTime(std::string_view stored) {
  if (!Digits(stored, 0, 4) || stored.size() < 10 || stored[4] != '-' ||
      stored[7] != '-' || !Digits(stored, 5, 2) || !Digits(stored, 8, 2))
    return "";
  std::string iso(stored.substr(0, 10));
  if (stored.size() == 10) return iso + "T00:00:00";
  if (stored.size() != 19 || (stored[10] != ' ' && stored[10] != 'T') ||
      !Digits(stored, 11, 2) || stored[13] != ':' || !Digits(stored, 14, 2) ||
      stored[16] != ':' || !Digits(stored, 17, 2))
    return "";
  return iso + "T" + std::string(stored.substr(11));
}

std::string StoredDateTime(std::string_view iso) {
  if (iso.size() < 19 || iso[10] != 'T') return "";
  std::string stored(iso.substr(0, 19));
  stored[10] = ' ';
  if (IsoDateTime(stored).empty()) return "";
  // A fraction of a second and a zone may follow; nothing else.
  std::string_view rest = iso.substr(19);
  if (!rest.empty() && rest[0] == '.') {
    size_t n = 1;
    while (n < rest.size() && std::isdigit(static_cast<unsigned char>(rest[n]))) ++n;
    if (n == 1) return "";
    rest.remove_prefix(n);
  }
  if (rest.empty() || rest == "Z") return stored;
  if (rest.size() == 6 && (rest[0] == '+' || rest[0] == '-') && Digits(rest, 1, 2) &&
      rest[3] == ':' && Digits(rest, 4, 2))
    return stored;
  return "";
}

namespace {

// Digits from |at|; how many.
size_t DigitRun(std::string_view text, size_t at) {
  size_t n = 0;
  while (at + n < text.size() && std::isdigit(static_cast<unsigned char>(text[at + n])))
    ++n;
  return n;
}

}  // namespace

bool IsInteger(std::string_view text) {
  size_t at = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  const size_t n = DigitRun(text, at);
  if (n == 0 || at + n != text.size() || n > 10) return false;
  const long long v = std::strtoll(std::string(text).c_str(), nullptr, 10);
  return v >= -2147483648LL && v <= 2147483647LL;
}

bool IsReal(std::string_view text) {
  size_t at = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  size_t whole = DigitRun(text, at), fraction = 0;
  at += whole;
  if (at < text.size() && text[at] == '.') {
    fraction = DigitRun(text, at + 1);
    at += 1 + fraction;
  }
  if (whole + fraction == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    const size_t exponent = DigitRun(text, at);
    if (exponent == 0) return false;
    at += exponent;
  }
  return at == text.size();
}

std::time_t CreationEpoch() {
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
      epoch != nullptr && *epoch != '\0')
    return static_cast<std::time_t>(std::strtoll(epoch, nullptr, 10));
  return std::time(nullptr);
}

std::string CreationTime() {
  const std::time_t when = CreationEpoch();
  std::tm utc{};
  gmtime_r(&when, &utc);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buf;
}

}  // namespace qmxml::reqif

// horalog-handheld: creates, fills, inspects, docks and undocks emulated
// handhelds, playing the part of the handheld's own time-tracking program.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "emulator/dccm_device_link.h"
#include "emulator/docked_handheld.h"
#include "emulator/emulated_handheld.h"
#include "emulator/handheld_image.h"
#include "emulator/rapi_server.h"
#include "platform/utf16.h"
#include "platform/utf8.h"
#include "platform/version.h"
#include "rapi/rapi_wire.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kFooter = R"(
Text arguments are UTF-8 and are stored as UTF-16; NOTES starting with "-" go
after "--". The dock is $HORALOG_HANDHELD when set, else
$XDG_DATA_HOME/horalog/dock/handheld.hhd.

Exit status: 0 success, 1 failure or bad usage (message on standard error);
docked exits 1, printing nothing, when no handheld is docked (saying so when
this build has no RAPI backend). serve writes the connection description
active_connection into $SYNCE_CONF_DIR (default ~/.synce) and removes it on
SIGINT or SIGTERM; serve --dccm writes none: it connects to the desktop's
connection manager, introduces the handheld and answers its pings.)";

int Fail(const std::string& message) {
  std::cerr << "horalog-handheld: " << message << "\n";
  return 1;
}

bool ParseInt(const std::string& text, int64_t low, int64_t high, int64_t* out) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) {
    return false;
  }
  *out = value;
  return true;
}

// A 32-bit id or count as the handheld keeps it.
bool ParseInt32(const std::string& what, const std::string& text, int32_t* out,
                std::string* error) {
  int64_t value = 0;
  if (!ParseInt(text, INT32_MIN, INT32_MAX, &value)) {
    *error = what + " must be a whole number from -2147483648 to 2147483647, not \"" + text + "\"";
    return false;
  }
  *out = static_cast<int32_t>(value);
  return true;
}

bool TextArgument(const std::string& what, const std::string& text, std::u16string* out,
                  std::string* error) {
  if (!IsUtf8(text)) {
    *error = what + " is not UTF-8 text";
    return false;
  }
  *out = Utf8ToUtf16(text);
  return true;
}

// YYYY-MM-DD, a real calendar day, packed as the handheld keeps it.
bool ParseDate(const std::string& text, int32_t* grpdate) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  int64_t year, month, day;
  if (!ParseInt(text.substr(0, 4), 1, 9999, &year) || !ParseInt(text.substr(5, 2), 1, 12, &month) ||
      !ParseInt(text.substr(8, 2), 1, 31, &day)) {
    return false;
  }
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
  *grpdate = static_cast<int32_t>(year * 65536 + month * 256 + day);
  return true;
}

// HH:MM or HH:MM:SS as seconds after midnight.
bool ParseTime(const std::string& text, int32_t* seconds) {
  if ((text.size() != 5 && text.size() != 8) || text[2] != ':' ||
      (text.size() == 8 && text[5] != ':')) {
    return false;
  }
  int64_t h, m, s = 0;
  if (!ParseInt(text.substr(0, 2), 0, 23, &h) || !ParseInt(text.substr(3, 2), 0, 59, &m) ||
      (text.size() == 8 && !ParseInt(text.substr(6, 2), 0, 59, &s))) {
    return false;
  }
  *seconds = static_cast<int32_t>(h * 3600 + m * 60 + s);
  return true;
}

// UTF-16 code units written as groups of four hex digits; any unit is
// accepted, lone surrogates included: that is what the option is for.
bool ParseHexUtf16(const std::string& hex, std::u16string* out) {
  if (hex.size() % 4 != 0) return false;
  out->clear();
  for (size_t i = 0; i < hex.size(); i += 4) {
    uint16_t unit = 0;
    const char* first = hex.data() + i;
    const auto [ptr, ec] = std::from_chars(first, first + 4, unit, 16);
    if (ec != std::errc() || ptr != first + 4) return false;
    out->push_back(static_cast<char16_t>(unit));
  }
  return true;
}

// A string of the handheld as one field of a show line: UTF-8 with tab, line
// ends and backslash escaped, and a unit that is no character (a lone
// surrogate) as \uXXXX, so every line reads back unambiguously.
std::string Escape(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool lead = c >= 0xD800 && c <= 0xDBFF;
    const bool pair = lead && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if ((c >= 0xD800 && c <= 0xDFFF) && !pair) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
      out += hex;
      continue;
    }
    switch (c) {
      case u'\t': out += "\\t"; continue;
      case u'\n': out += "\\n"; continue;
      case u'\r': out += "\\r"; continue;
      case u'\\': out += "\\\\"; continue;
      default: break;
    }
    std::string utf8;
    Utf16ToUtf8(text.substr(i, pair ? 2 : 1), &utf8);
    out += utf8;
    if (pair) ++i;
  }
  return out;
}

// 0 when done, else the failure's words on standard error and 1.
int Finish(const Status& status) { return status.ok() ? 0 : Fail(status.message()); }

int Show(const std::string& path) {
  HandheldImage image(path);
  if (Status open = image.Open(); !open.ok()) return Fail(open.message());
  std::string out;
  const struct {
    const char* label;
    uint32_t root;
    const char16_t* key;
    const char16_t* name;
  } kValues[] = {{"Name", HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Name"},
                 {"Owner", HKEY_CE_CURRENT_USER, u"\\ControlPanel\\Owner", u"Owner"}};
  for (const auto& v : kValues) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    const Status read = image.RegistryValue(v.root, v.key, v.name, &type, &data);
    if (!read.ok() && read.code() != HandheldImage::kNotFound) return Fail(read.message());
    // The value's text up to its first zero unit.
    out += std::string(v.label) + "\t" + Escape(RapiUnits(data)) + "\n";
  }
  for (const char* database : kHandheldDatabases) {
    std::vector<std::vector<CeValue>> records;
    if (Status read = image.Records(database, &records); !read.ok()) return Fail(read.message());
    out += std::string("[") + database + "]\n";
    for (const auto& record : records) {
      for (size_t i = 0; i < record.size(); ++i) {
        if (i > 0) out += '\t';
        out += record[i].isString() ? Escape(record[i].text) : std::to_string(record[i].integer);
      }
      out += '\n';
    }
  }
  std::cout << out;
  return 0;
}

int Fault(const std::string& path, const std::string& what, const std::vector<std::string>& args) {
  HandheldImage image(path);
  std::string error;
  if (what == "clear") {
    if (!args.empty()) return Fail("fault clear takes no more arguments");
    return Finish(image.ClearFaults());
  }
  if (what == "delay") {
    int64_t ms = 0;
    if (args.size() != 1 || !ParseInt(args[0], 0, INT32_MAX, &ms)) {
      return Fail("fault delay takes the delay in milliseconds, a whole number from 0");
    }
    return Finish(image.SetDelay(static_cast<int>(ms)));
  }
  static const std::pair<const char*, HandheldFault> kKinds[] = {{"open", HandheldFault::Open},
                                                                 {"count", HandheldFault::Count},
                                                                 {"seek", HandheldFault::Seek},
                                                                 {"read", HandheldFault::Read},
                                                                 {"short", HandheldFault::Short}};
  const auto* kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                  [&](const auto& k) { return what == k.first; });
  if (kind == std::end(kKinds)) {
    return Fail("unknown fault \"" + what + "\": open, count, seek, read, short, delay or clear");
  }
  const bool positioned =
      kind->second != HandheldFault::Open && kind->second != HandheldFault::Count;
  if (args.empty() || args.size() > (positioned ? 2u : 1u)) {
    return Fail(positioned ? "fault " + what + " takes DATABASE [N]"
                           : "fault " + what + " takes DATABASE");
  }
  int64_t n = 0;
  if (args.size() == 2 && !ParseInt(args[1], 0, kMaxCeRecords - 1, &n)) {
    return Fail("N is a record position from 0 to " + std::to_string(kMaxCeRecords - 1));
  }
  return Finish(image.SetFault(kind->second, args[0], n));
}

int Dock(const std::string& path) {
  std::error_code ec;
  const fs::path image = fs::absolute(path, ec).lexically_normal();
  HandheldImage check(image.string());
  if (ec) return Fail(path + ": " + ec.message());
  if (Status open = check.Open(); !open.ok()) return Fail(open.message());
  check.Close();
  const fs::path dock = DockLocation();
  if (dock.has_parent_path()) fs::create_directories(dock.parent_path(), ec);
  if (ec)
    return Fail("cannot make the dock folder " + dock.parent_path().string() + ": " + ec.message());
  const fs::file_status status = fs::symlink_status(dock, ec);
  if (fs::exists(status) && !fs::is_symlink(status)) {
    return Fail(dock.string() + " is not a dock link; it is left as it is");
  }
  // The new link replaces the old one in one step, so the dock is never
  // seen empty by a program connecting meanwhile.
  const fs::path temp = dock.string() + ".new-" + std::to_string(::getpid());
  fs::remove(temp, ec);
  fs::create_symlink(image, temp, ec);
  if (!ec) fs::rename(temp, dock, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return Fail("cannot dock at " + dock.string() + ": " + ec.message());
  }
  return 0;
}

int Undock() {
  const fs::path dock = DockLocation();
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(dock, ec);
  if (!fs::exists(status)) return 0;  // nothing docked: already undocked
  if (!fs::is_symlink(status)) {
    return Fail(dock.string() + " is not a dock link; it is left as it is");
  }
  if (!fs::remove(dock, ec)) return Fail("cannot undock " + dock.string() + ": " + ec.message());
  return 0;
}

int Docked() {
  // A build without the backend cannot see a real handheld, docked or not:
  // said whenever no image stands in for one.
  const char* kNoRapi =
      "this build has no RAPI backend (it was built without SynCE's libsynce), so it cannot "
      "see a real handheld";
  if (ChooseHandheld() == HandheldKind::Rapi) {
    if (!HaveRapiLibrary()) return Fail(kNoRapi);
    std::string line;
    if (!DescribeRapiHandheld(&line)) return 1;
    std::cout << line << "\n";
    return 0;
  }
  const fs::path dock = DockLocation();
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(dock, ec);
  if (!fs::exists(status)) return HaveRapiLibrary() ? 1 : Fail(kNoRapi);
  fs::path image = dock;
  if (fs::is_symlink(status)) {
    image = fs::read_symlink(dock, ec);
    if (ec) return Fail("cannot read " + dock.string() + ": " + ec.message());
    if (image.is_relative()) image = dock.parent_path() / image;
    if (!fs::exists(image, ec)) return Fail("the docked image " + image.string() + " is missing");
  }
  std::cout << image.string() << "\n";
  return 0;
}

// Serves image over the RAPI protocol until SIGINT or SIGTERM: described in
// the connection file, or, given the desktop's address, docked through the
// desktop's connection manager (dccm) as a handheld on USB is.
int Serve(const std::string& image, const std::string& address, int latencyMs,
          const std::optional<std::string>& desktop, const std::optional<std::string>& password) {
  // Blocked before any thread starts, so every thread inherits the mask and
  // the signal waits for sigwait below.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  const auto say = [](const std::string& what) {
    std::cerr << "horalog-handheld: " << what << "\n";
  };
  RapiServer::Options options{image, address, kRapiPort, latencyMs};
  if (password) options.password.emplace(*password);
  options.say = say;
  RapiServer server(options);
  if (Status start = server.Start(); !start.ok()) return Fail(start.message());
  const std::string folder = RapiServer::ConnectionFolder();
  std::optional<DccmDeviceLink> link;
  if (desktop) {
    link.emplace(DccmDeviceLink::Options{address, *desktop, kDccmPort, server.handheldName(),
                                         options.password, say});
    if (Status start = link->Start(); !start.ok()) return Fail(start.message());
  } else if (Status written = server.WriteConnectionFile(folder); !written.ok()) {
    return Fail(written.message());
  }
  std::cout << "serving " << image << " on " << address << ":" << kRapiPort;
  if (desktop) std::cout << ", docked at " << *desktop << ":" << kDccmPort;
  std::cout << std::endl;
  int signal = 0;
  sigwait(&stop, &signal);
  if (link) link->Stop();
  server.Stop();
  if (!desktop) server.RemoveConnectionFile(folder);
  std::cerr << "horalog-handheld: served " << server.requests() << " requests in "
            << server.roundTrips() << " round trips\n";
  return 0;
}

// What the command line says, filled in while it is parsed: each subcommand
// reads the fields it added, and says how it ended in status.
struct Arguments {
  std::string image;
  std::string name, id, accountId, itemId, text, date, start, minutes, database, what;
  std::optional<std::string> owner, notes, rawNotes;
  bool force = false;
  HandheldGenerateOptions generate;
  std::vector<std::string> faultArgs;
  std::string address = "127.0.0.1";
  int latencyMs = 0;
  std::optional<std::string> desktop, password;
  int status = 0;
};

// A subcommand that works on the image named by its first argument.
CLI::App* AddImageCommand(CLI::App& app, Arguments& a, const std::string& name,
                          const std::string& description) {
  CLI::App* sub = app.add_subcommand(name, description);
  sub->add_option("IMAGE", a.image, "the handheld image file")->required();
  return sub;
}

int Create(const Arguments& a) {
  std::string error;
  std::u16string name16, owner16;
  if (!TextArgument("NAME", a.name, &name16, &error) ||
      (a.owner && !TextArgument("OWNER", *a.owner, &owner16, &error))) {
    return Fail(error);
  }
  if (Status created = HandheldImage::Create(
          a.image, name16, a.owner ? std::optional(owner16) : std::nullopt, a.force);
      !created.ok()) {
    return Fail(created.message());
  }
  return 0;
}

int PutAccount(const Arguments& a) {
  std::string error;
  int32_t id32;
  std::u16string name16;
  HandheldImage handheld(a.image);
  if (!ParseInt32("ID", a.id, &id32, &error) || !TextArgument("NAME", a.text, &name16, &error)) {
    return Fail(error);
  }
  return Finish(handheld.PutAccount(id32, name16));
}

int PutItem(const Arguments& a) {
  std::string error;
  int32_t id32, account32;
  std::u16string name16;
  HandheldImage handheld(a.image);
  if (!ParseInt32("ID", a.id, &id32, &error) ||
      !ParseInt32("ACCOUNT_ID", a.accountId, &account32, &error) ||
      !TextArgument("NAME", a.text, &name16, &error)) {
    return Fail(error);
  }
  return Finish(handheld.PutItem(id32, account32, name16));
}

int PutRecord(const Arguments& a) {
  std::string error;
  int32_t id32, grpdate, account32, item32;
  std::u16string notes16;
  HandheldImage handheld(a.image);
  if (!ParseInt32("ID", a.id, &id32, &error) ||
      !ParseInt32("ACCOUNT_ID", a.accountId, &account32, &error) ||
      !ParseInt32("ITEM_ID", a.itemId, &item32, &error)) {
    return Fail(error);
  }
  if (!ParseDate(a.date, &grpdate)) {
    return Fail("DATE must be a calendar day written YYYY-MM-DD, not \"" + a.date + "\"");
  }
  if (a.notes && a.rawNotes) return Fail("give NOTES or --raw-utf16, not both");
  if (a.rawNotes && !ParseHexUtf16(*a.rawNotes, &notes16)) {
    return Fail("--raw-utf16 takes groups of four hex digits, not \"" + *a.rawNotes + "\"");
  }
  if (a.notes && !TextArgument("NOTES", *a.notes, &notes16, &error)) return Fail(error);
  return Finish(handheld.PutRecord(id32, grpdate, account32, item32, notes16));
}

int AddSpan(const Arguments& a) {
  std::string error;
  int32_t id32, seconds;
  int64_t duration;
  HandheldImage handheld(a.image);
  if (!ParseInt32("RECORD_ID", a.id, &id32, &error)) return Fail(error);
  if (!ParseTime(a.start, &seconds)) {
    return Fail("START must be a time of day written HH:MM or HH:MM:SS, not \"" + a.start + "\"");
  }
  if (!ParseInt(a.minutes, 0, INT32_MAX, &duration)) {
    return Fail("MINUTES must be a whole number from 0, not \"" + a.minutes + "\"");
  }
  return Finish(handheld.AddSpan(id32, seconds, static_cast<int32_t>(duration)));
}

int Remove(const Arguments& a) {
  std::string error;
  int32_t key;
  HandheldImage handheld(a.image);
  if (!ParseInt32("KEY", a.id, &key, &error)) return Fail(error);
  int64_t removed = 0;
  if (Status s = handheld.Remove(a.database, key, &removed); !s.ok()) return Fail(s.message());
  std::cout << removed << "\n";
  return 0;
}

int Generate(const Arguments& a) {
  HandheldImage handheld(a.image);
  return Finish(handheld.Generate(a.generate));
}

// create, account, item, record, span and remove: the handheld's program at
// work on its databases.
void AddFillCommands(CLI::App& app, Arguments& a) {
  CLI::App* create = AddImageCommand(app, a, "create", "make a new handheld with empty databases");
  create->add_option("--name", a.name, "the handheld's name (\\Ident\\Name), any length")
      ->required();
  create->add_option("--owner", a.owner, "its owner (\\ControlPanel\\Owner\\Owner)");
  create->add_flag("--force", a.force, "replace an existing IMAGE");
  create->callback([&a] { a.status = Create(a); });

  CLI::App* account =
      AddImageCommand(app, a, "account", "add an account, or rename an existing id");
  account->add_option("ID", a.id)->required();
  account->add_option("NAME", a.text)->required();
  account->callback([&a] { a.status = PutAccount(a); });

  CLI::App* item = AddImageCommand(app, a, "item", "add an item, or change an existing id");
  item->add_option("ID", a.id)->required();
  item->add_option("ACCOUNT_ID", a.accountId)->required();
  item->add_option("NAME", a.text)->required();
  item->callback([&a] { a.status = PutItem(a); });

  CLI::App* record = AddImageCommand(
      app, a, "record", "add a time record, or replace an existing id (its spans stay)");
  record->add_option("ID", a.id)->required();
  record->add_option("DATE", a.date, "YYYY-MM-DD")->required();
  record->add_option("ACCOUNT_ID", a.accountId)->required();
  record->add_option("ITEM_ID", a.itemId)->required();
  record->add_option("NOTES", a.notes, "any length");
  record->add_option("--raw-utf16", a.rawNotes,
                     "notes as hex UTF-16 code units, lone surrogates allowed (0041D800)");
  record->callback([&a] { a.status = PutRecord(a); });

  CLI::App* span = AddImageCommand(app, a, "span", "add a time span to a time record");
  span->add_option("RECORD_ID", a.id)->required();
  span->add_option("START", a.start, "HH:MM or HH:MM:SS")->required();
  span->add_option("MINUTES", a.minutes)->required();
  span->callback([&a] { a.status = AddSpan(a); });

  CLI::App* remove = AddImageCommand(
      app, a, "remove", "remove every record of DATABASE whose key is KEY; prints how many");
  remove->add_option("DATABASE", a.database, "HLAccountName, HLItemName, HLGroup or HLTime")
      ->required()
      ->check(CLI::IsMember({"HLAccountName", "HLItemName", "HLGroup", "HLTime"}));
  remove->add_option("KEY", a.id)->required();
  remove->callback([&a] { a.status = Remove(a); });
}

// show, generate and fault: what tests and demos do to a handheld.
void AddTestCommands(CLI::App& app, Arguments& a) {
  AddImageCommand(app, a, "show", "print the handheld's name, owner and records")->callback([&a] {
    a.status = Show(a.image);
  });

  CLI::App* generate = AddImageCommand(
      app, a, "generate", "replace the records with made-up ones, the same for the same seed");
  generate->add_option("--records", a.generate.records, "time records")->required();
  generate->add_option("--spans-per-record", a.generate.spansPerRecord, "default 1");
  generate->add_option("--accounts", a.generate.accounts, "default 10");
  generate->add_option("--items-per-account", a.generate.itemsPerAccount, "default 5");
  generate->add_option("--seed", a.generate.seed, "default 1");
  generate->callback([&a] { a.status = Generate(a); });

  CLI::App* fault = AddImageCommand(
      app, a, "fault",
      "make the handheld fail: WHAT is open, count, seek, read or short with DATABASE "
      "[N], delay MILLISECONDS, or clear");
  fault->add_option("WHAT", a.what)->required();
  fault->add_option("ARGS", a.faultArgs, "DATABASE [N] or MILLISECONDS");
  fault->callback([&a] { a.status = Fault(a.image, a.what, a.faultArgs); });
}

// dock, undock, docked and serve: the handheld at the desktop.
void AddDockCommands(CLI::App& app, Arguments& a) {
  AddImageCommand(app, a, "dock", "link IMAGE at the dock")->callback([&a] {
    a.status = Dock(a.image);
  });
  app.add_subcommand("undock", "remove the dock link")->callback([&a] { a.status = Undock(); });
  app.add_subcommand("docked", "print the docked image, or rapi:NAME ADDRESS of a real handheld")
      ->callback([&a] { a.status = Docked(); });

  CLI::App* serve = AddImageCommand(
      app, a, "serve", "serve IMAGE over the RAPI protocol on TCP port 990, as a docked handheld");
  serve->add_option("--address", a.address, "IPv4 address to listen on")->capture_default_str();
  serve->add_option("--latency-ms", a.latencyMs, "delay each answer, as a slow link does")
      ->check(CLI::Range(0, 600000));
  auto* dccm = serve->add_option(
      "--dccm", a.desktop,
      "dock through the desktop's connection manager at this IPv4 address (port 5679) "
      "instead of writing the connection file");
  serve->add_option("--password", a.password, "lock the handheld with this password")->needs(dccm);
  serve->callback(
      [&a] { a.status = Serve(a.image, a.address, a.latencyMs, a.desktop, a.password); });
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Creates, fills, inspects, docks and undocks emulated handhelds.",
               "horalog-handheld"};
  app.footer(kFooter);
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("horalog-handheld ") + kHoralogVersion);
  Arguments arguments;
  AddFillCommands(app, arguments);
  AddTestCommands(app, arguments);
  AddDockCommands(app, arguments);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 1;
  }
  return arguments.status;
}

// The registry of an emulated handheld's image: keys and values as the
// handheld keeps them, names compared with their letter case folded.
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>

#include "emulator/handheld_image.h"
#include "emulator/image_file.h"

using namespace image_file;

namespace {

// Simple per-character case folding, as the handheld compares registry names.
std::u16string FoldCase(const std::u16string& text) {
  std::u16string folded;
  folded.reserve(text.size());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U16_NEXT(text.data(), i, length, c);
    const UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    if (U_IS_BMP(f)) {
      folded.push_back(static_cast<char16_t>(f));
    } else {
      folded.push_back(static_cast<char16_t>(U16_LEAD(f)));
      folded.push_back(static_cast<char16_t>(U16_TRAIL(f)));
    }
  }
  return folded;
}

// "\ControlPanel\\Owner\" and "controlpanel\owner" are one key: empty
// components are dropped and letter case folded.
std::u16string NormalKey(const std::u16string& key) {
  std::u16string out;
  std::u16string part;
  for (size_t i = 0; i <= key.size(); ++i) {
    if (i == key.size() || key[i] == u'\\') {
      if (!part.empty()) {
        if (!out.empty()) out.push_back(u'\\');
        out += part;
        part.clear();
      }
    } else {
      part.push_back(key[i]);
    }
  }
  return FoldCase(out);
}

}  // namespace

Status HandheldImage::SetRegistryValue(uint32_t root, const std::u16string& key,
                                       const std::u16string& name, uint32_t type,
                                       const std::vector<uint8_t>& data) {
  const std::u16string path = NormalKey(key);
  return Done(Write([&](Connection& c) {
    // The key and every key above it exist from now on.
    for (size_t end = 0; end <= path.size(); ++end) {
      if (end != path.size() && path[end] != u'\\') continue;
      Query q(c, "INSERT OR IGNORE INTO registry_keys VALUES (?1, ?2)");
      if (!q.Int(1, root).Blob(2, Utf16Bytes(path.substr(0, end))).Run()) {
        return Fail(c, "cannot write " + path_);
      }
    }
    Query q(c, "INSERT OR REPLACE INTO registry VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    return q.Int(1, root)
               .Blob(2, Utf16Bytes(path))
               .Blob(3, Utf16Bytes(FoldCase(name)))
               .Blob(4, Utf16Bytes(name))
               .Int(5, type)
               .Blob(6, data)
               .Run() ||
           Fail(c, "cannot write " + path_);
  }));
}

Status HandheldImage::DeleteRegistryValue(uint32_t root, const std::u16string& key,
                                          const std::u16string& name) {
  return Done(Write([&](Connection& c) {
    Query q(c, "DELETE FROM registry WHERE root = ?1 AND path = ?2 AND folded = ?3");
    return q.Int(1, root)
               .Blob(2, Utf16Bytes(NormalKey(key)))
               .Blob(3, Utf16Bytes(FoldCase(name)))
               .Run() ||
           Fail(c, "cannot write " + path_);
  }));
}

Status HandheldImage::HasRegistryKey(uint32_t root, const std::u16string& key) {
  const std::u16string path = NormalKey(key);
  bool exists = false;
  Read([&](Connection& c) {
    if (path.empty()) return exists = true;
    Query q(c, "SELECT 1 FROM registry_keys WHERE root = ?1 AND path = ?2");
    const int rc = q.Int(1, root).Blob(2, Utf16Bytes(path)).Step();
    exists = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  });
  return Found(exists);
}

Status HandheldImage::RegistryValue(uint32_t root, const std::u16string& key,
                                    const std::u16string& name, uint32_t* type,
                                    std::vector<uint8_t>* data) {
  bool exists = false;
  Read([&](Connection& c) {
    Query q(c, "SELECT type, data FROM registry WHERE root = ?1 AND path = ?2 AND folded = ?3");
    const int rc = q.Int(1, root)
                       .Blob(2, Utf16Bytes(NormalKey(key)))
                       .Blob(3, Utf16Bytes(FoldCase(name)))
                       .Step();
    if (rc == SQLITE_ROW) {
      exists = true;
      *type = static_cast<uint32_t>(q.row().ColumnInt64(0));
      *data = q.row().ColumnBlob(1);
    }
    return rc == SQLITE_ROW || rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  });
  return Found(exists);
}

Status HandheldImage::RegistrySubkeys(uint32_t root, const std::u16string& key,
                                      std::vector<std::u16string>* out) {
  out->clear();
  std::u16string prefix = NormalKey(key);
  if (!prefix.empty()) prefix.push_back(u'\\');
  return Done(Read([&](Connection& c) {
    // A handheld's registry is small: its keys are read whole.
    Query q(c, "SELECT path FROM registry_keys WHERE root = ?1");
    q.Int(1, root);
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
      const std::u16string path = Utf16Text(q.row().ColumnBlob(0));
      if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0 ||
          path.find(u'\\', prefix.size()) != std::u16string::npos) {
        continue;
      }
      out->push_back(path.substr(prefix.size()));
    }
    std::sort(out->begin(), out->end());
    return rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  }));
}

Status HandheldImage::RegistryValues(uint32_t root, const std::u16string& key,
                                     std::vector<RegistryEntry>* out) {
  out->clear();
  return Done(Read([&](Connection& c) {
    Query q(c,
            "SELECT name, type, data FROM registry WHERE root = ?1 AND path = ?2 ORDER BY folded");
    q.Int(1, root).Blob(2, Utf16Bytes(NormalKey(key)));
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
      out->push_back({Utf16Text(q.row().ColumnBlob(0)),
                      static_cast<uint32_t>(q.row().ColumnInt64(1)), q.row().ColumnBlob(2)});
    }
    return rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  }));
}

// Walks registry key paths one level at a time and reads or writes values of
// the key on top. Every settings access goes through it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "settings/registry.h"

class RegistryKeyStack {
 public:
  static constexpr unsigned kMaxDepth = 10;

  // depth 1, the root valid. The registry file is the default one
  // (Registry::DefaultPath()) unless a path is given.
  explicit RegistryKeyStack(RegistryKey root = kHkeyCurrentUser);
  RegistryKeyStack(RegistryKey root, const std::string& registryPath);
  ~RegistryKeyStack();
  RegistryKeyStack(const RegistryKeyStack&) = delete;
  RegistryKeyStack& operator=(const RegistryKeyStack&) = delete;

  // Opens (or creates) the sub-key name of the top key; on success it becomes
  // the top. False, changing nothing, on failure, when the top is not valid or
  // when the stack already holds kMaxDepth levels. A name holding "\" addresses
  // nested keys, as on Windows, and takes one level however many components
  // it has (empty ones skipped), so one Pop undoes it; a name without
  // components gives false. CreateChild leaves the levels it created behind
  // when a deeper one fails.
  bool OpenChild(const std::string& name);
  bool CreateChild(const std::string& name);
  // Splits path (its first 1023 characters) at "\" (empty components
  // skipped) and applies OpenChild or CreateChild to each; a failing component
  // does not end the walk. The result is the last component's; false for a
  // path without components.
  bool OpenPath(const std::string& path);
  bool CreatePath(const std::string& path);
  // Removes the top level; returns the remaining depth (0 stays 0). After
  // CloseAll every operation fails.
  unsigned Pop();
  void CloseAll();
  unsigned depth() const { return depth_; }

  // Reads of the top key, whatever type the value was stored with; false,
  // leaving out unchanged, when it is missing or does not fit. QueryDword takes
  // the little-endian bytes of a value of at most 4 bytes (a shorter value
  // gives its bytes with the rest zero). A string's capacity counts its
  // terminating zero, as the Windows buffers did: a value of capacity or more
  // characters (UTF-8 code points) does not fit. 0 means no limit. The text
  // read ends at the first zero.
  bool QueryDword(const std::string& name, uint32_t* out);
  bool QueryString(const std::string& name, std::string* out, size_t capacity);
  // Writes of the top key. Callers never look at the outcome; it is returned
  // for the tools.
  bool SetDword(const std::string& name, uint32_t value);
  bool SetString(const std::string& name, const std::string& text);
  bool DeleteValue(const std::string& name);

 private:
  RegistryKey Top() const;
  bool Push(const std::string& name, bool create);
  bool Walk(const std::string& path, bool create);

  Registry registry_;
  unsigned depth_ = 1;
  std::array<RegistryKey, kMaxDepth + 1> handles_{};
  std::array<bool, kMaxDepth + 1> valid_{};
};

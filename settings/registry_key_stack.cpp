// The key stack through which every settings access walks the registry.
#include "settings/registry_key_stack.h"

#include <cstring>
#include <vector>

#include "platform/utf8.h"

namespace {

// The Windows path buffer held 1024 bytes; its limit is kept in characters.
constexpr size_t kMaxPathCharacters = 1023;

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> components;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) components.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

}  // namespace

RegistryKeyStack::RegistryKeyStack(RegistryKey root)
    : RegistryKeyStack(root, Registry::DefaultPath()) {}

RegistryKeyStack::RegistryKeyStack(RegistryKey root, const std::string& registryPath)
    : registry_(registryPath) {
  handles_[1] = root;
  valid_[1] = true;
}

RegistryKeyStack::~RegistryKeyStack() { CloseAll(); }

RegistryKey RegistryKeyStack::Top() const {
  if (depth_ == 0 || !valid_[depth_]) return 0;
  return handles_[depth_];
}

bool RegistryKeyStack::Push(const std::string& name, bool create) {
  // The bound is checked before anything is opened, so a name that asks for
  // an eleventh level neither writes past the arrays nor creates the key.
  if (depth_ >= kMaxDepth) return false;
  const RegistryKey top = Top();
  if (top == 0) return false;
  // A name holding "\" is one level, as one Windows handle reaches a nested
  // key: each Push is then matched by one Pop, whatever the name holds.
  const std::vector<std::string> components = SplitPath(name);
  if (components.empty()) return false;
  RegistryKey child = 0;
  const Status opened = create ? registry_.CreateKeyPath(top, components, &child)
                               : registry_.OpenKeyPath(top, components, &child);
  if (!opened.ok()) return false;
  ++depth_;
  handles_[depth_] = child;
  valid_[depth_] = true;
  return true;
}

bool RegistryKeyStack::Walk(const std::string& path, bool create) {
  const std::vector<std::string> components = SplitPath(path);
  bool result = false;
  for (const std::string& component : components) result = Push(component, create);
  return result;
}

bool RegistryKeyStack::OpenChild(const std::string& name) { return Push(name, false); }
bool RegistryKeyStack::CreateChild(const std::string& name) { return Push(name, true); }

bool RegistryKeyStack::OpenPath(const std::string& path) {
  return Walk(CutToCharacters(path, kMaxPathCharacters), false);
}
bool RegistryKeyStack::CreatePath(const std::string& path) {
  return Walk(CutToCharacters(path, kMaxPathCharacters), true);
}

unsigned RegistryKeyStack::Pop() {
  if (depth_ == 0) return 0;
  // Keys are rows, not open handles: closing one is forgetting it.
  valid_[depth_] = false;
  handles_[depth_] = 0;
  return --depth_;
}

void RegistryKeyStack::CloseAll() {
  while (Pop() > 0) {
  }
}

bool RegistryKeyStack::QueryDword(const std::string& name, uint32_t* out) {
  const RegistryKey top = Top();
  RegistryValue value;
  if (top == 0 || !registry_.QueryValue(top, name, &value).ok()) return false;
  if (value.data.size() > sizeof(uint32_t)) return false;
  uint32_t result = 0;
  for (size_t i = 0; i < value.data.size(); ++i) result |= uint32_t{value.data[i]} << (8 * i);
  *out = result;
  return true;
}

bool RegistryKeyStack::QueryString(const std::string& name, std::string* out, size_t capacity) {
  const RegistryKey top = Top();
  RegistryValue value;
  if (top == 0 || !registry_.QueryValue(top, name, &value).ok()) return false;
  std::string stored(value.data.begin(), value.data.end());
  // The terminating zero is counted by the capacity, not as a character; a
  // value written without one gets one, as the Windows readers' buffers did.
  if (!stored.empty() && stored.back() == '\0') stored.pop_back();
  if (capacity != 0 && CountCharacters(stored) + 1 > capacity) return false;
  *out = stored.substr(0, std::strlen(stored.c_str()));
  return true;
}

bool RegistryKeyStack::SetDword(const std::string& name, uint32_t value) {
  const RegistryKey top = Top();
  if (top == 0) return false;
  const std::vector<uint8_t> data = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                     static_cast<uint8_t>(value >> 16),
                                     static_cast<uint8_t>(value >> 24)};
  return registry_.SetValue(top, name, kRegDword, data).ok();
}

bool RegistryKeyStack::SetString(const std::string& name, const std::string& text) {
  const RegistryKey top = Top();
  if (top == 0) return false;
  std::vector<uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return registry_.SetValue(top, name, kRegSz, data).ok();
}

bool RegistryKeyStack::DeleteValue(const std::string& name) {
  const RegistryKey top = Top();
  if (top == 0) return false;
  return registry_.DeleteValue(top, name).ok();
}

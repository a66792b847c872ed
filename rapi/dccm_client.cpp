// SynCE's connection manager as the desktop asks it, over the system bus.
#include "rapi/dccm_client.h"

#include <gio/gio.h>

#include <memory>

namespace {

constexpr const char* kService = "org.synce.dccm";
constexpr const char* kManagerPath = "/org/synce/dccm/DeviceManager";
constexpr const char* kManagerInterface = "org.synce.dccm.DeviceManager";
constexpr const char* kDeviceInterface = "org.synce.dccm.Device";
constexpr int kAskTimeoutMs = 5000;

struct Unref {
  void operator()(GDBusConnection* c) const { g_object_unref(c); }
  void operator()(GVariant* v) const { g_variant_unref(v); }
  void operator()(GError* e) const { g_error_free(e); }
};
using Bus = std::unique_ptr<GDBusConnection, Unref>;
using Reply = std::unique_ptr<GVariant, Unref>;

// The GLib error's text, and the error freed.
std::string Said(GError* error) {
  std::unique_ptr<GError, Unref> owned(error);
  return error ? error->message : "unknown error";
}

Bus SystemBus(std::string* error) {
  GError* failure = nullptr;
  // A connection of its own: the shared one would outlive the caller's
  // environment (tests point DBUS_SYSTEM_BUS_ADDRESS at a bus of their own).
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &failure);
  if (!address) {
    *error = Said(failure);
    return nullptr;
  }
  GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &failure);
  g_free(address);
  if (!bus) *error = Said(failure);
  return Bus(bus);
}

Reply Call(GDBusConnection* bus, const std::string& path, const char* interface, const char* method,
           GVariant* args, const char* replyType, int timeoutMs, std::string* error) {
  GError* failure = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      bus, kService, path.c_str(), interface, method, args, G_VARIANT_TYPE(replyType),
      G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, &failure);
  if (!reply) *error = Said(failure);
  return Reply(reply);
}

// A string answer of a device's method, or "" when it gave none.
std::string DeviceText(GDBusConnection* bus, const std::string& path, const char* method) {
  std::string ignored;
  Reply reply = Call(bus, path, kDeviceInterface, method, nullptr, "(s)", kAskTimeoutMs, &ignored);
  if (!reply) return "";
  const gchar* text = nullptr;
  g_variant_get(reply.get(), "(&s)", &text);
  return text ? text : "";
}

}  // namespace

Status ListDccmDevices(std::vector<DccmDevice>* devices) {
  devices->clear();
  std::string error;
  Bus bus = SystemBus(&error);
  if (!bus) return Status::Failure(std::move(error));
  Reply reply = Call(bus.get(), kManagerPath, kManagerInterface, "GetConnectedDevices", nullptr,
                     "(ao)", kAskTimeoutMs, &error);
  if (!reply) return Status::Failure(std::move(error));
  GVariantIter* paths = nullptr;
  g_variant_get(reply.get(), "(ao)", &paths);
  const gchar* path = nullptr;
  while (g_variant_iter_loop(paths, "&o", &path)) {
    DccmDevice device;
    device.path = path;
    device.name = DeviceText(bus.get(), device.path, "GetName");
    device.passwordFlags = DeviceText(bus.get(), device.path, "GetPasswordFlags");
    devices->push_back(std::move(device));
  }
  g_variant_iter_free(paths);
  return Status::Ok();
}

DccmUnlockResult UnlockDccmDevice(const std::string& path, const std::string& password,
                                  int timeoutMs) {
  std::string error;
  Bus bus = SystemBus(&error);
  if (!bus) return {DccmUnlock::Failed, Status::Failure(std::move(error))};
  Reply reply = Call(bus.get(), path, kDeviceInterface, "ProvidePassword",
                     g_variant_new("(s)", password.c_str()), "(b)", timeoutMs, &error);
  if (!reply) return {DccmUnlock::Failed, Status::Failure(std::move(error))};
  gboolean unlocked = FALSE;
  g_variant_get(reply.get(), "(b)", &unlocked);
  return {unlocked ? DccmUnlock::Unlocked : DccmUnlock::Refused, Status::Ok()};
}

#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/settings_store.h"

namespace quarzo {

// The rows of the settings dialog's two property lists and how their values go back into the
// settings, decided without a window.
enum class PropertyKind { kCategory, kBoolean, kList, kEdit, kCheck };

struct PropertyItem {
    std::string name;
    int id;
    PropertyKind kind;
    std::vector<std::string> options;  // the choices of a list item ("False", "True" for a boolean)
    int choice = 0;                    // boolean, list and check items
    std::string text;                  // edit items
    std::vector<int> values;           // what each option stores, where that is not its position
};

inline constexpr int kAutoprogramCheckBase = 1000;
inline constexpr int kAutoprogramBits = 0x1F;
extern const char* const kAdapterChoices[3];

std::vector<PropertyItem> GlobalItems(const SettingsStore& settings);
// Empty for a value outside 0 to 2. The loader's port list offers COM1 to COM8, then the serial ports
// present above them (port indexes), then the stored port when it is none of those. The FET library's
// port list is the one its library takes (stored index, name), when given.
std::vector<PropertyItem> AdapterItems(const SettingsStore& settings, int adapter,
                                       const std::vector<int>& presentSerialPorts = {},
                                       const std::vector<std::pair<int, std::string>>& fetPorts = {});

// Stores the item with the setting's id; false, changing nothing, when there is no such item or its
// value does not convert.
bool StoreItem(SettingsStore& settings, const std::vector<PropertyItem>& items, int settingId);
// Stores the page's items; what was refused, one line for each edited value that does not convert or
// lies outside its range ("Target VCC: "5" is not within 1.8 to 3.6"), empty when all were taken.
std::string StoreAdapterPage(SettingsStore& settings, const std::vector<PropertyItem>& items, int adapter);
// The OR of the ticked Autoprogram check items.
int AutoprogramFromItems(const std::vector<PropertyItem>& items);
// What the dialog's OK stores: the adapter page, the global switches and the Autoprogram bits; what
// the adapter page refused, as StoreAdapterPage says it.
std::string StoreSettingsPages(SettingsStore& settings, const std::vector<PropertyItem>& global,
                               const std::vector<PropertyItem>& adapterPage);

// The help area: the key and description of the setting with that id; empty for none.
struct SettingHelp {
    std::string key;
    std::string description;
};
SettingHelp HelpForItem(const SettingsStore& settings, int id);

}  // namespace quarzo

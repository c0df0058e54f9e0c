#include "ui/model/settings_pages.h"

#include <algorithm>

#include "adapters/base/port_names.h"

namespace quarzo {

const char* const kAdapterChoices[3] = {"FET direct access", "FET msp430.dll", "BSL"};

namespace {

struct PageEntry {
    int id;
    std::vector<std::string> options;  // empty: boolean or edit, by the setting's type
};

const std::vector<PageEntry>& Page(int adapter) {
    static const std::vector<PageEntry> kPages[3] = {
        {{kSetRawPort, PortNames(kAdapterRawJtag)}, {kSetRawCustomAddress, {}}},
        {{kSetFetPort, PortNames(kAdapterFetDll)}, {kSetFetApplyVcc, {}}, {kSetFetTargetVcc, {}}},
        {{kSetBslPort, {}},  // the ports of this machine: see AdapterItems
         {kSetBslPatch, {}},
         {kSetBslFastBaud, {}},
         {kSetBslKeepPortOpen, {}},
         {kSetBslTstInvert, {}},
         {kSetBslRstInvert, {}},
         {kSetBslRstDelay, {}},
         {kSetBslPasswordFile, {}}},
    };
    static const std::vector<PageEntry> kNone;
    return adapter >= 0 && adapter < 3 ? kPages[adapter] : kNone;
}

PropertyItem MakeItem(const std::string& name, int id, PropertyKind kind,
                      std::vector<std::string> options = {}) {
    return PropertyItem{name, id, kind, std::move(options), 0, "", {}};
}

// A setting shown as its type asks: a boolean, a list of options, or free text.
PropertyItem ItemFor(const SettingsStore& settings, int id, const std::vector<std::string>& options,
                     const std::vector<int>& values = {}) {
    const SettingRecord* record = settings.FindSetting(id);
    PropertyItem item = MakeItem(record ? record->key : "", id, PropertyKind::kEdit, options);
    if (!record) return item;
    if (!options.empty()) {
        item.kind = PropertyKind::kList;
        item.values = values;
        item.choice = settings.GetIntSetting(id);
        if (!values.empty()) {
            auto at = std::find(values.begin(), values.end(), item.choice);
            item.choice = at == values.end() ? 0 : static_cast<int>(at - values.begin());
        }
    } else if (std::holds_alternative<bool>(record->value)) {
        item.kind = PropertyKind::kBoolean;
        item.options = {"False", "True"};
        item.choice = settings.GetBoolSetting(id) ? 1 : 0;
    } else {
        item.text = SettingText(record->value);
    }
    return item;
}

}  // namespace

std::vector<PropertyItem> GlobalItems(const SettingsStore& settings) {
    std::vector<PropertyItem> items;
    items.push_back(MakeItem("Application", 0, PropertyKind::kCategory));
    for (int id : {kSetSingleInstance, kSetSaveWindow, kSetEraseInfo})
        items.push_back(ItemFor(settings, id, {}));
    items.push_back(MakeItem("Autoprogram", kSetAutoprogram, PropertyKind::kCategory));
    int bits = settings.GetIntSetting(kSetAutoprogram);
    const struct {
        const char* name;
        int bit;
    } kChecks[] = {
        {"Reload file", 0x01}, {"Erase", 0x02}, {"Blank Check", 0x04}, {"Program", 0x08}, {"Verify", 0x10}};
    for (const auto& c : kChecks) {
        PropertyItem item = MakeItem(c.name, kAutoprogramCheckBase + c.bit, PropertyKind::kCheck);
        item.choice = (bits & c.bit) ? 1 : 0;
        items.push_back(item);
    }
    return items;
}

std::vector<PropertyItem> AdapterItems(const SettingsStore& settings, int adapter,
                                       const std::vector<int>& presentSerialPorts,
                                       const std::vector<std::pair<int, std::string>>& fetPorts) {
    std::vector<PropertyItem> items;
    for (const PageEntry& e : Page(adapter)) {
        if (e.id == kSetFetPort && !fetPorts.empty()) {
            std::vector<std::string> names;
            std::vector<int> values;
            for (const auto& [value, name] : fetPorts) {
                values.push_back(value);
                names.push_back(name);
            }
            items.push_back(ItemFor(settings, e.id, names, values));
            continue;
        }
        if (e.id != kSetBslPort) {
            items.push_back(ItemFor(settings, e.id, e.options));
            continue;
        }
        std::vector<int> ports;
        for (int i = 0; i < kClassicSerialPorts; ++i) ports.push_back(i);
        for (int i : presentSerialPorts) {
            if (i >= kClassicSerialPorts && i < kSerialPortCount) ports.push_back(i);
        }
        int stored = settings.GetIntSetting(kSetBslPort);
        if (stored >= kClassicSerialPorts && stored < kSerialPortCount) ports.push_back(stored);
        std::sort(ports.begin(), ports.end());
        ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
        std::vector<std::string> names;
        for (int i : ports) names.push_back(SerialPortName(i));
        items.push_back(ItemFor(settings, e.id, names, ports));
    }
    return items;
}

bool StoreItem(SettingsStore& settings, const std::vector<PropertyItem>& items, int settingId) {
    for (const PropertyItem& item : items) {
        if (item.id != settingId) continue;
        switch (item.kind) {
            case PropertyKind::kList:
                if (!item.values.empty()) {
                    if (item.choice < 0 || item.choice >= static_cast<int>(item.values.size())) return false;
                    return settings.SetSettingFromVariant(settingId,
                                                          item.values[static_cast<size_t>(item.choice)]);
                }
                return settings.SetSettingFromVariant(settingId, item.choice);
            case PropertyKind::kBoolean:
            case PropertyKind::kCheck:
                return settings.SetSettingFromVariant(settingId, item.choice);
            case PropertyKind::kEdit:
                return settings.SetSettingFromVariant(settingId, item.text);
            case PropertyKind::kCategory:
                return false;
        }
    }
    return false;
}

std::string StoreAdapterPage(SettingsStore& settings, const std::vector<PropertyItem>& items, int adapter) {
    std::string refused;
    for (const PageEntry& e : Page(adapter)) {
        if (StoreItem(settings, items, e.id)) continue;
        auto item =
            std::find_if(items.begin(), items.end(), [&e](const PropertyItem& i) { return i.id == e.id; });
        const SettingRecord* record = settings.FindSetting(e.id);
        if (item == items.end() || item->kind != PropertyKind::kEdit || !record) continue;
        bool converts = ConvertSetting(record->value, item->text).has_value();
        std::string range = SettingRangeText(e.id);
        refused += (refused.empty() ? "" : "\n") + item->name + ": \"" + item->text + "\" is not " +
                   (converts && !range.empty() ? "within " + range : "a valid value");
    }
    return refused;
}

int AutoprogramFromItems(const std::vector<PropertyItem>& items) {
    int bits = 0;
    for (const PropertyItem& item : items) {
        if (item.kind == PropertyKind::kCheck && item.choice) bits |= item.id - kAutoprogramCheckBase;
    }
    return bits & kAutoprogramBits;
}

std::string StoreSettingsPages(SettingsStore& settings, const std::vector<PropertyItem>& global,
                               const std::vector<PropertyItem>& adapterPage) {
    std::string refused = StoreAdapterPage(settings, adapterPage, settings.GetIntSetting(kSetAdapter));
    for (int id : {kSetSingleInstance, kSetSaveWindow, kSetEraseInfo}) StoreItem(settings, global, id);
    settings.SetIntSetting(kSetAutoprogram, AutoprogramFromItems(global));
    return refused;
}

SettingHelp HelpForItem(const SettingsStore& settings, int id) {
    const SettingRecord* record = settings.FindSetting(id);
    if (!record) return {};
    return {record->key, record->description ? record->description : ""};
}

}  // namespace quarzo

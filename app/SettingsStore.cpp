#include "app/SettingsStore.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <cstring>

#include "items/DataMemoryWriter.h"

namespace tolvane {
namespace {

QSettings OpenStore() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Miravelt", "Tolvane");
}

QString Key(const char* name) {
    return QString::fromLatin1(name);
}

}  // namespace

std::int32_t GetSettingDword(const char* name, std::int32_t defaultValue) {
    QVariant value = OpenStore().value(Key(name));
    if (!value.isValid()) {
        return defaultValue;
    }
    // A byte block or a list converts to nothing sensible: only plain text is a number.
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::Int &&
        value.typeId() != QMetaType::LongLong) {
        return defaultValue;
    }
    bool ok = false;
    int number = value.toInt(&ok);
    return ok ? number : defaultValue;
}

void SetSettingDword(const char* name, std::int32_t value) {
    OpenStore().setValue(Key(name), value);
}

void GetSettingBinary(const char* name, Data::MemoryWriter& block) {
    block.Reset(kMaxBinarySetting);
    QVariant value = OpenStore().value(Key(name));
    std::uint32_t size = 0;
    if (value.typeId() == QMetaType::QByteArray) {
        QByteArray bytes = value.toByteArray();
        if (bytes.size() <= static_cast<qsizetype>(kMaxBinarySetting)) {
            size = static_cast<std::uint32_t>(bytes.size());
            std::memcpy(block.Data(), bytes.constData(), size);
        }
    }
    block.Resize(size);
}

void SetSettingBinary(const char* name, const void* bytes, std::size_t length) {
    OpenStore().setValue(
        Key(name), QByteArray(static_cast<const char*>(bytes), static_cast<qsizetype>(length)));
}

void SetSettingString(const char* name, const std::string& text) {
    OpenStore().setValue(Key(name),
                         QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::int32_t ReadPassesSetting(std::string* note) {
    std::int32_t passes = GetSettingDword("Passes", kDefaultPasses);
    if (passes < 0) {
        return kDefaultPasses;
    }
    if (passes > kMaxStoredPasses) {
        if (note != nullptr) {
            *note = "the saved pass count " + std::to_string(passes) + " is more than " +
                    std::to_string(kMaxStoredPasses) + "; using " + std::to_string(kDefaultPasses);
        }
        return kDefaultPasses;
    }
    return passes;
}

std::int32_t PassesForRun(const std::optional<int>& given, std::string* note) {
    return given ? *given : ReadPassesSetting(note);
}

}  // namespace tolvane

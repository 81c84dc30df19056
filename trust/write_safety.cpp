#include "trust/write_safety.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <system_error>

#include "trust/stored_value.h"
#include "model/memory_form.h"
#include "model/window_model.h"
#include "blocks/block_layout.h"
#include "blocks/convert.h"
#include "blocks/blocks.h"
#include "link/frame.h"
#include "link/groups.h"
#include "platform/system.h"
#include "settings/backup_section.h"
#include "settings/profile_file.h"
#include "settings/settings_file.h"

namespace quorvane {

namespace {

// Where decoders are given a read answer.
constexpr std::size_t kDecoderIndex = FrameView::kBlockOffsetAt;

std::string HexByte(std::uint8_t b) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[b >> 4] + kDigits[b & 0x0F];
}

// A backup's name: YYYYMMDD-HHMMSS.ini or YYYYMMDD-HHMMSS-N.ini; its sort key, or
// nullopt for any other file.
std::optional<std::pair<std::string, long>> BackupSortKey(const std::string& name) {
    constexpr std::size_t kStamp = 15;
    if (name.size() < kStamp + 4 || !name.ends_with(".ini")) return std::nullopt;
    for (std::size_t i = 0; i < kStamp; ++i) {
        const bool ok = i == 8 ? name[i] == '-' : std::isdigit(static_cast<unsigned char>(name[i])) != 0;
        if (!ok) return std::nullopt;
    }
    const std::string rest = name.substr(kStamp, name.size() - kStamp - 4);
    if (rest.empty()) return std::pair{name.substr(0, kStamp), 1L};
    if (rest.size() < 2 || rest.size() > 6 || rest[0] != '-') return std::nullopt;
    long n = 0;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return std::nullopt;
        n = n * 10 + (rest[i] - '0');
    }
    return std::pair{name.substr(0, kStamp), n};
}

void PruneBackups(const std::filesystem::path& folder, std::size_t keep) {
    std::vector<std::pair<std::pair<std::string, long>, std::filesystem::path>> backups;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (!entry.is_regular_file(ec)) continue;
        if (auto key = BackupSortKey(entry.path().filename().string())) backups.emplace_back(*key, entry.path());
    }
    if (backups.size() <= keep) return;
    std::sort(backups.begin(), backups.end());
    for (std::size_t i = 0; i + keep < backups.size(); ++i) std::filesystem::remove(backups[i].second, ec);
}

}  // namespace

std::span<const BackupKey> BackupKeys() {
    static const std::vector<BackupKey> keys = [] {
        std::vector<BackupKey> list;
        const auto& settingsKeys = SettingsKeys();
        for (const ControlDef& c : Controls()) {
            if (FindStoredUnit(c.name) == nullptr) continue;
            if (std::any_of(settingsKeys.begin(), settingsKeys.end(),
                            [&](const SettingsKey& k) { return k.control == c.name; }))
                continue;
            const ValueForm form = c.kind == ControlKind::CheckBox   ? ValueForm::Flag
                                   : c.kind == ControlKind::ComboBox ? ValueForm::Index
                                                                     : ValueForm::Text;
            list.push_back({c.name, form});
        }
        return list;
    }();
    return keys;
}

std::optional<BlockId> WrittenBlock(std::span<const std::uint8_t> payload) {
    if (payload.size() < kBlockHeaderLength) return std::nullopt;
    const auto offset = static_cast<std::uint16_t>(payload[1] << 8 | payload[2]);
    for (BlockId id : {BlockId::Gprs, BlockId::Main, BlockId::MainExt, BlockId::Interface, BlockId::Temperature,
                       BlockId::Sms, BlockId::GeoFence, BlockId::Event}) {
        const BlockInfo& b = Block(id);
        if (b.area == payload[0] && b.writeOffset == offset) return id;
    }
    return std::nullopt;
}

std::span<const std::uint8_t> AnswerData(BlockId id, std::span<const std::uint8_t> answer) {
    if (!AnswerHoldsBlock(id, answer, kDecoderIndex)) return {};
    return answer.subspan(kDecoderIndex + 4);
}

namespace {

// A number's exact decimal value with no leading or trailing zeros ("05" and "5.0"
// give "5."); nullopt for a text that is not a plain decimal number.
std::optional<std::string> ExactDecimal(std::string_view text) {
    std::string sign;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        if (text.front() == '-') sign = "-";
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    const auto digits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(whole) || !digits(fraction)) return std::nullopt;
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    if (whole.empty() && fraction.empty()) return std::string("0.");
    return sign + std::string(whole) + "." + std::string(fraction);
}

bool IsSensorIdText(std::string_view text) {
    return text.size() == 16 &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

bool HoldsValue(const Form& held, std::span<const std::uint8_t> data, std::uint16_t dataOffset,
                const StoredUnit& unit, MemoryForm& scratch) {
    const std::optional<std::string> stored = StoredValueOf(data, dataOffset, unit);
    if (!stored) return false;
    const std::string& name = unit.control;
    if (unit.mask != 0) return (*stored == "1") == held.Checked(name);
    const auto bytes = data.subspan(unit.field.offset - dataOffset, unit.field.width);
    switch (unit.field.kind) {
    case FieldKind::Index:
        scratch.SetItemIndex(name, bytes[0]);
        return scratch.ItemIndex(name) == held.ItemIndex(name);
    case FieldKind::SensorId: {
        const std::string text = held.Text(name);
        if (!text.empty() && !IsSensorIdText(text)) return false;
        const SensorId id = SensorIdFromText(text);
        return std::equal(id.begin(), id.end(), bytes.begin(), bytes.end());
    }
    case FieldKind::Text:
        DecodeField(scratch, unit.field, bytes);
        return scratch.Text(name) == held.Text(name);
    default: {
        DecodeField(scratch, unit.field, bytes);
        const std::string read = scratch.Text(name);
        const std::string text = held.Text(name);
        const auto a = ExactDecimal(read);
        const auto b = ExactDecimal(text);
        if (a && b) return *a == *b;
        return read == text;
    }
    }
}

}  // namespace

bool HoldsValueOf(const Form& held, std::span<const std::uint8_t> data, std::uint16_t dataOffset,
                  const StoredUnit& unit) {
    MemoryForm scratch;
    return HoldsValue(held, data, dataOffset, unit, scratch);
}

Comparison VerifyWrite(const SentBlocks& sent, const ReadAnswers& read, const Form* held) {
    Comparison result;
    std::optional<MemoryForm> scratch;
    if (held != nullptr) scratch.emplace();
    for (const auto& [id, data] : sent) {
        const BlockInfo& block = Block(id);
        const auto answer = read.find(id);
        const std::span<const std::uint8_t> readData =
            answer == read.end() ? std::span<const std::uint8_t>() : AnswerData(id, answer->second);

        std::vector<bool> covered(data.size(), false);
        for (const StoredUnit& u : StoredUnits()) {
            if (u.block != id) continue;
            const std::optional<std::string> wrote = StoredValueOf(data, block.writeOffset, u);
            if (!wrote) continue;
            for (std::size_t k = 0; k < u.field.width; ++k) covered[u.field.offset - block.writeOffset + k] = true;
            const bool asSent = StoredValueOf(readData, block.readOffset, u) == wrote;
            if (asSent && (held == nullptr || HoldsValue(*held, readData, block.readOffset, u, *scratch))) {
                ++result.equal;
                continue;
            }
            const ControlDef* c = FindControl(u.control);
            const std::string tab = c != nullptr ? c->tab : std::string();
            ControlDifference d{tab,
                                TabCaption(tab),
                                u.control,
                                c != nullptr ? ControlLabel(*c) : u.control,
                                ShownValueOf(data, block.writeOffset, u),
                                ShownValueOf(readData, block.readOffset, u),
                                std::nullopt};
            // Sent other than the window holds: the value changed before it reached the line.
            if (held != nullptr && c != nullptr && !HoldsValue(*held, data, block.writeOffset, u, *scratch)) {
                d.sentValue = std::move(d.thisValue);
                d.thisValue = ShownValue(*held, *c);
            }
            result.differences.push_back(std::move(d));
        }
        // Bytes no control holds must come back as sent too.
        for (std::size_t k = 0; k < data.size(); ++k) {
            if (covered[k]) continue;
            const std::size_t at = block.writeOffset + k;
            const bool isHeld = at >= block.readOffset && at - block.readOffset < readData.size();
            if (isHeld && readData[at - block.readOffset] == data[k]) continue;
            result.differences.push_back({"", "", "area " + std::to_string(block.area) + " offset " + std::to_string(at),
                                          "reserved byte", HexByte(data[k]),
                                          isHeld ? HexByte(readData[at - block.readOffset]) : "(not read)", std::nullopt});
        }
    }
    return result;
}

void DecodeAnswers(Form& form, const ReadAnswers& answers) {
    for (const auto& [id, answer] : answers) {
        const BlockDecoder decode = DecoderOf(id);
        if (decode != nullptr) decode(form, answer, kDecoderIndex);
    }
}

std::filesystem::path BackupFolderFor(const std::string& backupFolder, std::string_view imei) {
    std::string name;
    for (char c : imei)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') name.push_back(c);
    if (name.empty()) name = "unknown";
    return std::filesystem::path(backupFolder) / name;
}

std::filesystem::path NewBackupPath(const std::string& backupFolder, std::string_view imei,
                                    std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    LocalTime(t, local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::filesystem::path folder = BackupFolderFor(backupFolder, imei);
    std::filesystem::path path = folder / (std::string(stamp) + ".ini");
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(path, ec) && n < 1000; ++n)
        path = folder / (std::string(stamp) + "-" + std::to_string(n) + ".ini");
    return path;
}

void SaveBackup(const Form& form, const std::filesystem::path& path, std::size_t keep,
                const ReplaceOptions& options) {
    std::error_code why;
    if (!PreparePrivateFolder(path.parent_path(), why)) ThrowUnwritable(path.parent_path().string(), why);
    // Built whole in memory and saved once: a backup is all there, its own section
    // included, or not there at all (a temporary left by a kill is no "*.ini").
    ProfileFile file;
    SetSettingsKeys(form, file);
    SetBackupSection(form, file, BackupKeys());
    if (!file.Save(path.string(), options, &why)) ThrowUnwritable(path.string(), why);
    PruneBackups(path.parent_path(), keep);
}

}  // namespace quorvane

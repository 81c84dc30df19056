// Writes the fuzz targets' seed inputs: real frames of a connect, every block's
// read answer built from the window's start values, write and maintenance answers,
// settings files, and command line values.
//
//   fuzz_make_corpus <corpus folder>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "model/memory_form.h"
#include "blocks/blocks.h"
#include "fuzz/engine_script.h"
#include "link/engine.h"
#include "link/frame.h"
#include "settings/settings_file.h"

using namespace quorvane;
using namespace quorvane::fuzz;
namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

namespace {

fs::path root;

void Put(const std::string& target, const std::string& name, const Bytes& bytes) {
    fs::create_directories(root / target);
    std::ofstream out(root / target / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Of(std::string_view text) { return Bytes(text.begin(), text.end()); }

void Add(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
void AddWord(Bytes& to, std::size_t value) {
    to.push_back(static_cast<std::uint8_t>(value >> 8));
    to.push_back(static_cast<std::uint8_t>(value));
}
void AddLong(Bytes& to, std::uint32_t value) {  // MSB first, as the device information
    for (int shift = 24; shift >= 0; shift -= 8) to.push_back(static_cast<std::uint8_t>(value >> shift));
}

Bytes ConnectAnswerPayload(std::uint8_t result) {
    Bytes p{0x01, result, 0, 0, 0};
    Add(p, Of("QV-KR420-V2.1.7,860123456789012,QV420A0012345,"));
    for (std::uint32_t v : {3u, 500u, 12u, 2000u, 0u, 2000u, 150u, 8000u}) AddLong(p, v);
    p.push_back(87);
    AddLong(p, 123456);
    AddWord(p, 2);
    return p;
}

using Encoder = void (*)(const Form&, TxPayload&);

// A read answer holding what the block's encoder writes for the window's start values.
Bytes ReadAnswerPayload(BlockId id, Encoder encode) {
    static MemoryForm form;
    form.SetText("RoamingInterval", "0");  // starts empty, which does not encode
    const BlockInfo& b = Block(id);
    Bytes data(b.readLength, 0);
    if (encode != nullptr) {
        TxPayload tx;
        encode(form, tx);
        const auto written = tx.View().subspan(kBlockHeaderLength);
        for (std::size_t k = 0; k < written.size(); ++k) {
            const std::size_t at = b.writeOffset - b.readOffset + k;
            if (at < data.size()) data[at] = written[k];
        }
    }
    if (id == BlockId::Gprs || id == BlockId::DeviceId) {
        const std::string_view identity = "860123456789012";
        for (std::size_t k = 0; k < identity.size() && k < data.size(); ++k)
            data[k] = static_cast<std::uint8_t>(identity[k]);
    }
    Bytes p{b.area};
    AddWord(p, b.readOffset);
    AddWord(p, b.readLength);
    Add(p, data);
    return p;
}

struct StepAnswer {
    BlockId id;
    Encoder encode;
};
const StepAnswer kSteps[] = {
    {BlockId::Gprs, EncodeGprsBlock},           {BlockId::Main, EncodeMainBlock},
    {BlockId::MainExt, EncodeMainExtBlock},     {BlockId::Interface, EncodeInterfaceBlock},
    {BlockId::Temperature, EncodeTemperatureBlock}, {BlockId::Sms, EncodeSmsBlock},
    {BlockId::GeoFence, EncodeGeoFenceBlock},   {BlockId::Event, EncodeEventBlock},
};

// --- the engine's scripts ---------------------------------------------------------

struct Script {
    Bytes bytes;
    Script& Start(EngineHandler h) {
        bytes.push_back(OpStart);
        bytes.push_back(h);
        return *this;
    }
    Script& Answer(std::uint8_t command, const Bytes& payload) {
        bytes.push_back(OpFramedAnswer);
        bytes.push_back(command);
        AddWord(bytes, payload.size());
        Add(bytes, payload);
        return *this;
    }
    Script& Raw(const Bytes& block, EngineOp op = OpRawBlock) {
        bytes.push_back(op);
        AddWord(bytes, block.size());
        Add(bytes, block);
        return *this;
    }
    Script& Op(EngineOp op) {
        bytes.push_back(op);
        return *this;
    }
    Script& Ticks(int n) {
        for (int k = 0; k < n; ++k) bytes.push_back(OpTick);
        return *this;
    }
};

void EngineSeeds() {
    Script connect;
    connect.Start(HConnect).Answer(CmdConnect, ConnectAnswerPayload(1))
        .Answer(CmdReadBlock, ReadAnswerPayload(BlockId::DeviceId, nullptr));
    Put("fuzz_engine", "connect", connect.bytes);

    Script refused;
    refused.Start(HConnect).Answer(CmdConnect, ConnectAnswerPayload(0)).Ticks(5);
    Put("fuzz_engine", "connect-refused", refused.bytes);

    Script readAll;
    readAll.Start(HReadAll);
    for (const StepAnswer& s : kSteps) readAll.Answer(CmdReadBlock, ReadAnswerPayload(s.id, s.encode));
    Put("fuzz_engine", "read-all", readAll.bytes);

    Script writeAll;
    writeAll.Start(HWriteAll);
    for (const StepAnswer& s : kSteps) writeAll.Answer(CmdWriteBlock, {Block(s.id).area, 1});
    Put("fuzz_engine", "write-all", writeAll.bytes);

    // A raw answer cut in two blocks, with line noise in front.
    Script split;
    const Bytes gprs = MakeFrame(CmdReadBlock, ReadAnswerPayload(BlockId::Gprs, EncodeGprsBlock));
    Bytes first = Of("\r\nModel: KR420\r\n\x5A\xA5\x0F");
    first.insert(first.end(), gprs.begin(), gprs.begin() + 40);
    split.Start(HGprsRead).Raw(first).Raw(Bytes(gprs.begin() + 40, gprs.end()));
    Put("fuzz_engine", "split-answer", split.bytes);

    // Answers arriving while a message box is open.
    Script nested;
    nested.Start(HSmsRead)
        .Raw(MakeFrame(CmdReadBlock, ReadAnswerPayload(BlockId::Sms, EncodeSmsBlock)), OpNestedBlock)
        .Op(OpNestedTick)
        .Answer(CmdReadBlock, ReadAnswerPayload(BlockId::Sms, EncodeSmsBlock))
        .Start(HMainWrite)
        .Answer(CmdWriteBlock, {2, 1})
        .Answer(CmdWriteBlock, {2, 1});
    Put("fuzz_engine", "nested-boxes", nested.bytes);

    Script maintenance;
    const std::pair<EngineHandler, std::uint8_t> simple[] = {
        {HInitAll, CmdDefault},     {HClearSms, CmdClearSms},       {HClearGprs1, CmdClearGprs1},
        {HClearGprs2, CmdClearGprs2}, {HClearGpsLog, CmdClearGpsLog}, {HSetMileage, CmdSetMileage},
        {HSetId, CmdAuthorizeId},   {HDelId, CmdDeleteId},          {HTempPair, CmdTemperaturePair},
    };
    for (auto [h, command] : simple) maintenance.Start(h).Answer(command, {1});
    maintenance.Start(HChkId).Answer(CmdCheckId, Of("A1B2C3\r\nZZ99\r\n"));
    maintenance.Start(HSetId).Answer(CmdAuthorizeId, {2}).Start(HDelId).Ticks(10);
    Put("fuzz_engine", "maintenance", maintenance.bytes);

    // A text that does not convert stops a Write All chain inside the receive handler.
    Script badText;
    badText.bytes.push_back(OpSetText);
    const auto& boxes = TextBoxes();
    AddWord(badText.bytes, static_cast<std::size_t>(
        std::find(boxes.begin(), boxes.end(), "TimeInterval") - boxes.begin()));
    badText.bytes.push_back(3);
    Add(badText.bytes, Of("x1y"));
    badText.Start(HWriteAll).Answer(CmdWriteBlock, {1, 1}).Answer(CmdWriteBlock, {2, 1}).Ticks(6);
    Put("fuzz_engine", "bad-text", badText.bytes);

    Script timeouts;
    timeouts.Start(HEventRead).Ticks(3).Answer(CmdWriteBlock, {5, 1}).Start(HGeoWrite).Ticks(5)
        .Start(HChkId).Answer(CmdCheckId, {2});
    Put("fuzz_engine", "timeouts-and-mismatches", timeouts.bytes);
}

// --- frames in blocks ---------------------------------------------------------------

void AddBlock(Bytes& to, std::uint8_t flags, const Bytes& block) {
    to.push_back(flags);
    AddWord(to, block.size());
    Add(to, block);
}

void FrameSeeds() {
    const Bytes connect = MakeFrame(CmdConnect, ConnectAnswerPayload(1));
    const Bytes event = MakeFrame(CmdReadBlock, ReadAnswerPayload(BlockId::Event, EncodeEventBlock));
    const Bytes ack = MakeFrame(CmdWriteBlock, Bytes{1, 1});

    Bytes one;
    AddBlock(one, 0, connect);
    Put("fuzz_frame", "one-frame", one);

    Bytes large;  // the largest frame, in the port's 2048-byte blocks
    for (std::size_t at = 0; at < event.size(); at += kMaxReceiveBlock)
        AddBlock(large, 0, Bytes(event.begin() + static_cast<std::ptrdiff_t>(at),
                                 event.begin() + static_cast<std::ptrdiff_t>(std::min(event.size(), at + kMaxReceiveBlock))));
    Put("fuzz_frame", "largest-frame", large);

    Bytes noisy;  // boot text and a stray header before two frames in one block
    Bytes block = Of("\r\nQuorvane tracker boot\r\nModel: KR420\r\n\x5A\xA5\x0F\x00");
    Add(block, ack);
    Add(block, connect);
    AddBlock(noisy, 0, block);
    Put("fuzz_frame", "noise-and-two-frames", noisy);

    Bytes split;  // a frame cut after its header, then a clear, then a bad CRC
    AddBlock(split, 0, Bytes(connect.begin(), connect.begin() + 3));
    AddBlock(split, 0, Bytes(connect.begin() + 3, connect.end()));
    Bytes bad = ack;
    bad.back() ^= 0xFF;
    AddBlock(split, 1, bad);
    AddBlock(split, 0, ack);
    Put("fuzz_frame", "split-and-bad-crc", split);
}

// --- decoders -----------------------------------------------------------------------

void BlockSeeds() {
    // The whole frame without its CRC; the engine's index (mode bit 7).
    auto answer = [](std::uint8_t command, const Bytes& payload) {
        Bytes frame = MakeFrame(command, payload);
        frame.resize(frame.size() - 2);
        return frame;
    };
    const char* names[] = {"gprs", "main", "main-ext", "interface", "temperature", "sms", "geo", "event"};
    for (std::uint8_t k = 0; k < 8; ++k) {
        Bytes seed{k, 0x80};
        Add(seed, answer(CmdReadBlock, ReadAnswerPayload(kSteps[k].id, kSteps[k].encode)));
        Put("fuzz_blocks", names[k], seed);
    }
    Bytes info{8, 0x80};
    Add(info, answer(CmdConnect, ConnectAnswerPayload(1)));
    Put("fuzz_blocks", "device-info", info);
    Bytes shortInfo{9, 0x80};
    Add(shortInfo, answer(CmdConnect, Of("\x01\x01\x00\x00\x00QV-KR310-V1.4.2,8601")));
    Put("fuzz_blocks", "device-info-short", shortInfo);
}

// --- files and values ---------------------------------------------------------------

void FileSeeds() {
    MemoryForm form;
    const fs::path saved = fs::temp_directory_path() / "quorvane-corpus-settings.ini";
    fs::remove(saved);
    SaveSettingsFile(form, saved.string());
    std::ifstream in(saved, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(saved);
    Put("fuzz_settings_load", "start-values", Of(text));

    const std::string handmade =
        "\xEF\xBB\xBF; written by hand\r\n[ gprs ]\r\nAPN = \"  internet \"\r\nIP=10.0.0.1\r\n"
        "GPRS1 Buffer Mode=0x2\r\n\r\n[Main]\r\nTime Zone='-60'\r\nVehicle=7\r\n[GPRS]\r\nAPN=second\r\n"
        "[Event]\nkey without end";
    Put("fuzz_settings_load", "handmade", Of(handmade));

    // Files from other editors: bare CR and mixed line ends, ^Z, header forms, and
    // the two encodings with a byte order mark.
    const std::string foreign =
        "[ GPRS ]\rAPN=cr.only\x1A\r\r\n[Event]x]\n\rLow Speed Out2=1\x1A\n[no close\nIP=1.2.3.4\r";
    Put("fuzz_settings_load", "foreign-line-ends", Of(foreign));
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[GPRS]\r\nAPN=caf\xE9\r\n[Auth]\r\nSMS Password=12\r\n")) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    utf16 += std::string("\xAC\x20\x3D\xD8\x00\xDE\x41", 7);  // a euro sign, a pair, an odd byte
    Put("fuzz_settings_load", "utf16le", Of(utf16));
    Put("fuzz_settings_load", "utf8-mark", Of("\xEF\xBB\xBF[GPRS]\nAPN=\xE2\x82\xAC\xC3\xA9\xC3\n"));

    Bytes update{2};  // two updates, then the file
    auto addText = [&](std::string_view s) {
        update.push_back(static_cast<std::uint8_t>(s.size()));
        Add(update, Of(s));
    };
    addText("GPRS");
    addText("APN");
    AddWord(update, 9);
    Add(update, Of(" spaced  "));
    addText("New");
    addText("Key");
    AddWord(update, 5);
    Add(update, Of("a\r\nb!"));
    Add(update, Of(handmade));
    Put("fuzz_profile_file", "two-updates", update);
    Bytes plain{0};
    Add(plain, Of(text.substr(0, 600)));
    Put("fuzz_profile_file", "start-values-head", plain);
    Bytes encoded(update.begin(), update.end() - static_cast<std::ptrdiff_t>(handmade.size()));
    Add(encoded, Of(utf16));
    Put("fuzz_profile_file", "two-updates-utf16le", encoded);

    Put("fuzz_escape", "plain", Of("internet.example"));
    Put("fuzz_escape", "escapes", Of("line1\\r\\nline2\\t\\\\\\x00\\xFf\\xe9"));
    Put("fuzz_escape", "bad", Of("tail\\x4"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    root = argv[1];
    EngineSeeds();
    FrameSeeds();
    BlockSeeds();
    FileSeeds();
    return 0;
}

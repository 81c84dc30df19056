// Every block decoder and the device information decoder on arbitrary answers.
//
// Input: [decoder][index mode][answer bytes...]. Index mode bit 7 set: the index
// the engine passes (the area-offset field of a whole frame); clear: the next word,
// taken modulo the answer's size + 1, so any position inside the answer.
//
// Properties: nothing is read outside the answer (it sits in a buffer of its exact
// size); no decoder throws; a decoder that refuses an answer leaves the window as
// it was; what a decoder put into the window can be written back by its encoder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "model/memory_form.h"
#include "blocks/blocks.h"
#include "fuzz/form_snapshot.h"
#include "fuzz/fuzz_input.h"

using namespace quorvane;
using quorvane::fuzz::Input;

namespace {

using Decoder = bool (*)(Form&, std::span<const std::uint8_t>, std::size_t);
using Encoder = void (*)(const Form&, TxPayload&);

struct Codec {
    const char* name;
    Decoder decode;
    Encoder encode;
};

constexpr Codec kCodecs[] = {
    {"GPRS", DecodeGprsBlock, EncodeGprsBlock},
    {"Main", DecodeMainBlock, EncodeMainBlock},
    {"MainExt", DecodeMainExtBlock, EncodeMainExtBlock},
    {"Interface", DecodeInterfaceBlock, EncodeInterfaceBlock},
    {"Temperature", DecodeTemperatureBlock, EncodeTemperatureBlock},
    {"SMS", DecodeSmsBlock, EncodeSmsBlock},
    {"GEO", DecodeGeoFenceBlock, EncodeGeoFenceBlock},
    {"Event", DecodeEventBlock, EncodeEventBlock},
};
constexpr std::size_t kCodecCount = sizeof(kCodecs) / sizeof(kCodecs[0]);
// Offset of a read answer's area-offset field in a frame: header 2, length 2,
// command 1, area 1.
constexpr std::size_t kEngineIndex = 6;
constexpr std::size_t kDeviceInfoIndex = 10;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryForm form;
    form.Reset();
    Input in(data, size);
    const std::size_t which = in.Byte() % (kCodecCount + 2);
    const std::uint8_t mode = in.Byte();
    const std::uint16_t word = (mode & 0x80) ? 0 : in.Word();
    const auto bytes = in.Rest();
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() + 1]);
    if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
    const std::span<const std::uint8_t> answer(exact.get(), bytes.size());

    try {
        if (which >= kCodecCount) {
            const std::size_t index = (mode & 0x80) ? kDeviceInfoIndex : word % (answer.size() + 1);
            DecodeDeviceInfo(form, answer.subspan(std::min(index, answer.size())), which == kCodecCount);
            return 0;
        }
        const Codec& codec = kCodecs[which];
        const std::size_t index = (mode & 0x80) ? kEngineIndex : word % (answer.size() + 1);
        const auto before = fuzz::Snapshot(form);
        if (!codec.decode(form, answer, index)) {
            QV_CHECK(fuzz::Snapshot(form) == before, std::string(codec.name) + " refused an answer but changed the window");
            return 0;
        }
        TxPayload tx;
        try {
            codec.encode(form, tx);
        } catch (const EConvertError& e) {
            // Whatever a block decodes to fits the block again.
            fuzz::Fail("a decoded block cannot be written back", std::string(codec.name) + ": " + e.what());
            return 0;
        }
        QV_CHECK(!tx.overflow && tx.length > 0, std::string(codec.name) + " encoder left no payload");
    } catch (const std::exception& e) {
        fuzz::Fail("a decoder threw", e.what());
    }
    return 0;
}

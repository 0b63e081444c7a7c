// Encoding and decoding 10 000 small records with our codec and with two libraries an
// application might pick instead, each from and into its own dynamic value type.

#define MSGPACK_NO_BOOST
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <msgpack.hpp>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "weft/byte_streams.h"
#include "weft/encodable_value.h"
#include "weft/standard_codec_serializer.h"

namespace {

constexpr size_t kRecordCount = 10000;
constexpr size_t kTagCount = 3;
constexpr char kId[] = "id";
constexpr char kName[] = "name";
constexpr char kScore[] = "score";
constexpr char kTags[] = "tags";
constexpr char kActive[] = "active";
constexpr size_t kFieldCount = 5;

// The same contents for every library: a 16-byte name and three 8-byte tags per record.
struct Record {
  int64_t id;
  std::string name;
  double score;
  std::vector<std::string> tags;
  bool active;
};

const std::vector<Record>& Records() {
  static const std::vector<Record> records = [] {
    std::vector<Record> made;
    made.reserve(kRecordCount);
    for (size_t i = 0; i < kRecordCount; ++i) {
      char name[17];
      std::snprintf(name, sizeof(name), "record-%09zu", i);
      std::vector<std::string> tags;
      for (size_t t = 0; t < kTagCount; ++t) {
        char tag[9];
        std::snprintf(tag, sizeof(tag), "tag%05zu", (i + t) % 100000);
        tags.emplace_back(tag);
      }
      made.push_back(Record{static_cast<int64_t>(i) * 7919, name, 0.25 * static_cast<double>(i),
                            std::move(tags), i % 2 == 0});
    }
    return made;
  }();
  return records;
}

void SetItems(benchmark::State& state) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kRecordCount));
}

// Ours: EncodableValue with the standard serializer.

const weft::EncodableValue& OurTree() {
  static const weft::EncodableValue tree = [] {
    weft::ValueList list;
    list.reserve(kRecordCount);
    for (const Record& record : Records()) {
      weft::ValueList tags(record.tags.begin(), record.tags.end());
      list.emplace_back(weft::ValueMap{
          {weft::EncodableValue(kId), weft::EncodableValue(record.id)},
          {weft::EncodableValue(kName), weft::EncodableValue(record.name)},
          {weft::EncodableValue(kScore), weft::EncodableValue(record.score)},
          {weft::EncodableValue(kTags), weft::EncodableValue(std::move(tags))},
          {weft::EncodableValue(kActive), weft::EncodableValue(record.active)},
      });
    }
    return weft::EncodableValue(std::move(list));
  }();
  return tree;
}

std::vector<uint8_t> OurBytes() {
  std::vector<uint8_t> bytes;
  weft::ByteBufferStreamWriter writer(&bytes);
  weft::StandardCodecSerializer::SharedInstance().WriteValue(OurTree(), &writer);
  return bytes;
}

void OursEncode(benchmark::State& state) {
  const weft::EncodableValue& tree = OurTree();
  for (auto _ : state) {
    std::vector<uint8_t> bytes;
    weft::ByteBufferStreamWriter writer(&bytes);
    weft::StandardCodecSerializer::SharedInstance().WriteValue(tree, &writer);
    benchmark::DoNotOptimize(bytes.data());
  }
  SetItems(state);
}

void OursDecode(benchmark::State& state) {
  const std::vector<uint8_t> bytes = OurBytes();
  for (auto _ : state) {
    weft::ByteBufferStreamReader reader(bytes.data(), bytes.size());
    weft::EncodableValue tree =
        weft::StandardCodecSerializer::SharedInstance().ReadTaggedValue(&reader);
    benchmark::DoNotOptimize(&tree);
  }
  SetItems(state);
}

// nlohmann-json: json with MessagePack.

const nlohmann::json& JsonTree() {
  static const nlohmann::json tree = [] {
    nlohmann::json list = nlohmann::json::array();
    for (const Record& record : Records()) {
      list.push_back({{kId, record.id},
                      {kName, record.name},
                      {kScore, record.score},
                      {kTags, record.tags},
                      {kActive, record.active}});
    }
    return list;
  }();
  return tree;
}

void NlohmannEncode(benchmark::State& state) {
  const nlohmann::json& tree = JsonTree();
  for (auto _ : state) {
    std::vector<uint8_t> bytes = nlohmann::json::to_msgpack(tree);
    benchmark::DoNotOptimize(bytes.data());
  }
  SetItems(state);
}

void NlohmannDecode(benchmark::State& state) {
  const std::vector<uint8_t> bytes = nlohmann::json::to_msgpack(JsonTree());
  for (auto _ : state) {
    nlohmann::json tree = nlohmann::json::from_msgpack(bytes);
    benchmark::DoNotOptimize(&tree);
  }
  SetItems(state);
}

// msgpack-cxx: msgpack::object in its zone.

msgpack::object ZoneString(const std::string& text, msgpack::zone& zone) {
  return msgpack::object(text, zone);
}

msgpack::object ZoneObjects(size_t count, msgpack::zone& zone, msgpack::type::object_type type) {
  msgpack::object object;
  object.type = type;
  if (type == msgpack::type::ARRAY) {
    object.via.array.size = static_cast<uint32_t>(count);
    object.via.array.ptr = static_cast<msgpack::object*>(zone.allocate_align(
        sizeof(msgpack::object) * count, MSGPACK_ZONE_ALIGNOF(msgpack::object)));
  } else {
    object.via.map.size = static_cast<uint32_t>(count);
    object.via.map.ptr = static_cast<msgpack::object_kv*>(zone.allocate_align(
        sizeof(msgpack::object_kv) * count, MSGPACK_ZONE_ALIGNOF(msgpack::object_kv)));
  }
  return object;
}

const msgpack::object& MsgpackTree() {
  static msgpack::zone zone;
  static const msgpack::object tree = [] {
    msgpack::object list = ZoneObjects(kRecordCount, zone, msgpack::type::ARRAY);
    const std::vector<Record>& records = Records();
    for (size_t i = 0; i < kRecordCount; ++i) {
      const Record& record = records[i];
      msgpack::object map = ZoneObjects(kFieldCount, zone, msgpack::type::MAP);
      msgpack::object tags = ZoneObjects(kTagCount, zone, msgpack::type::ARRAY);
      for (size_t t = 0; t < kTagCount; ++t) {
        tags.via.array.ptr[t] = ZoneString(record.tags[t], zone);
      }
      msgpack::object_kv* fields = map.via.map.ptr;
      fields[0] = {ZoneString(kId, zone), msgpack::object(record.id)};
      fields[1] = {ZoneString(kName, zone), ZoneString(record.name, zone)};
      fields[2] = {ZoneString(kScore, zone), msgpack::object(record.score)};
      fields[3] = {ZoneString(kTags, zone), tags};
      fields[4] = {ZoneString(kActive, zone), msgpack::object(record.active)};
      list.via.array.ptr[i] = map;
    }
    return list;
  }();
  return tree;
}

void MsgpackEncode(benchmark::State& state) {
  const msgpack::object& tree = MsgpackTree();
  for (auto _ : state) {
    msgpack::sbuffer buffer;
    msgpack::pack(buffer, tree);
    benchmark::DoNotOptimize(buffer.data());
  }
  SetItems(state);
}

void MsgpackDecode(benchmark::State& state) {
  msgpack::sbuffer buffer;
  msgpack::pack(buffer, MsgpackTree());
  for (auto _ : state) {
    msgpack::object_handle tree = msgpack::unpack(buffer.data(), buffer.size());
    benchmark::DoNotOptimize(tree.get().via.array.ptr);
  }
  SetItems(state);
}

BENCHMARK(OursEncode)->Name("Structured/encode/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(OursDecode)->Name("Structured/decode/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(NlohmannEncode)->Name("Structured/encode/nlohmann")->Unit(benchmark::kMillisecond);
BENCHMARK(NlohmannDecode)->Name("Structured/decode/nlohmann")->Unit(benchmark::kMillisecond);
BENCHMARK(MsgpackEncode)->Name("Structured/encode/msgpack")->Unit(benchmark::kMillisecond);
BENCHMARK(MsgpackDecode)->Name("Structured/decode/msgpack")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

#include "engine/storage/TarnexBaseSession.h"

#include "engine/storage/TarnexExcept.h"

TTarnexBaseSession::~TTarnexBaseSession() = default;

void TTarnexBaseSession::CreateDatabase() {
  throw ETarnexException(10888, "Error - operation is not supported");
}

void TTarnexBaseSession::UnnamedOperation4() {
  throw ETarnexException(10889, "Error - operation is not supported");
}

void TTarnexBaseSession::UnnamedOperation5(const std::string&) {
  throw ETarnexException(10890, "Error - operation is not supported");
}

void TTarnexBaseSession::UnnamedOperation23(int32_t, int32_t) {}

void TTarnexBaseSession::UnnamedOperation24() {}

TTarnexSessionNamedObjectSequenceValue* TTarnexBaseSession::FindSequenceValue(const std::string& name) const {
  for (const auto& object : NamedObjects)
    if (object->Name == name)
      if (auto* value = dynamic_cast<TTarnexSessionNamedObjectSequenceValue*>(object.get())) return value;
  return nullptr;
}

void TTarnexBaseSession::SetSequenceValue(const std::string& name, int64_t value) {
  if (auto* existing = FindSequenceValue(name)) {
    existing->Value = value;
    return;
  }
  auto added = std::make_unique<TTarnexSessionNamedObjectSequenceValue>();
  added->Name = name;
  added->Value = value;
  NamedObjects.push_back(std::move(added));
}

bool TTarnexBaseSession::GetSequenceValue(const std::string& name, int64_t& value) const {
  const auto* existing = FindSequenceValue(name);
  if (existing == nullptr) return false;
  value = existing->Value;
  return true;
}

#include "engine/storage/TarnexBaseEngineRecordManager.h"

int64_t TTarnexBaseRecordManager::GetRecordCount() const { return RecordCount_; }

bool TTarnexBaseRecordManager::UpdateRecord(uint8_t*, const TTarnexRecordID&, int32_t) { return false; }

bool TTarnexBaseRecordManager::DeleteRecord(TTarnexRecordID&, int32_t) { return false; }

void TTarnexBaseRecordManager::LoadFromStream(TTarnexStream&) {}

void TTarnexBaseRecordManager::SaveToStream(TTarnexStream&) {}

void TTarnexBaseRecordManager::LoadNextRecord(uint8_t*, int64_t&) {}

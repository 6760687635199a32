// Vocabulary shared by the data-set machinery's parts: its error class and the helpers that
// raise it with the component's name as prefix, the data-set states, notification events,
// record-fetch modes and results, bookmark flags and the option sets of searches and filters.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/db/EnumSet.h"
#include "platform/rtl/SysUtils.h"

class TComponent;

// Every refusal of the data-set layer.
class EDatabaseError : public Exception { public: using Exception::Exception; };
// The silent exception an error handler's daAbort raises ("Operation aborted").
class EAbort : public Exception { public: EAbort(); };

// Raises EDatabaseError with `message`, prefixed "<name>: " when `component` has a name.
[[noreturn]] void DatabaseError(const std::string& message, const TComponent* component = nullptr);
// The same with Format(format, args) as the message.
[[noreturn]] void DatabaseErrorFmt(const std::string& format, std::initializer_list<TVarRec> args,
                                   const TComponent* component = nullptr);

// Data-set states, numbered as the platform numbers them.
enum class TDataSetState : uint8_t {
  dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue,
  dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening,
};
using TDataSetStates = TEnumSet<TDataSetState>;
// States in which a record or key buffer is being edited.
inline constexpr TDataSetStates dsEditModes{TDataSetState::dsEdit, TDataSetState::dsInsert,
                                            TDataSetState::dsSetKey};
// States in which fields accept values.
inline constexpr TDataSetStates dsWriteModes{
    TDataSetState::dsEdit, TDataSetState::dsInsert, TDataSetState::dsSetKey,
    TDataSetState::dsCalcFields, TDataSetState::dsFilter, TDataSetState::dsNewValue,
    TDataSetState::dsInternalCalc};

// What a data set tells its data sources and links. The accompanying `info` is the changed
// field (a TField* as intptr_t) for deFieldChange, the distance moved for deDataSetScroll,
// non-zero "still active" for deDisabledStateChange, and 0 otherwise.
enum class TDataEvent : uint8_t {
  deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
  deUpdateRecord, deUpdateState, deCheckBrowseMode, dePropertyChange, deFieldListChange,
  deFocusControl, deParentScroll, deConnectChange, deReconcileError, deDisabledStateChange,
};

// Record fetch: which record GetRecord is asked for, and its answer.
enum class TGetMode : uint8_t { gmCurrent, gmNext, gmPrior };
enum class TGetResult : uint8_t { grOK, grBOF, grEOF, grError };

// Where a record buffer stands: on a record, before the first, after the last, or a new record.
enum class TBookmarkFlag : uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };

// A bookmark: the derived data set's BookmarkSize bytes naming one record; empty = none.
using TBookmark = std::vector<uint8_t>;

enum class TLocateOption : uint8_t { loCaseInsensitive, loPartialKey };
using TLocateOptions = TEnumSet<TLocateOption>;

enum class TFilterOption : uint8_t { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TEnumSet<TFilterOption>;

// An error handler's verdict on a failed post, edit or delete.
enum class TDataAction : uint8_t { daFail, daAbort, daRetry };

enum class TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };

// Resync: rmExact requires the cursor's record to be there ("Record not found" otherwise);
// rmCenter is accepted for the platform's spelling and changes nothing with one record buffer.
enum class TResyncModeItem : uint8_t { rmExact, rmCenter };
using TResyncMode = TEnumSet<TResyncModeItem>;

// event!: one user-interface event for the faces of the view engine.
//
// A cell: header type event!, with BUILT when a script made it (make event!);
// w1 the event type id (1-35, 0 for none given); w2 for a built event the node
// of a four-cell block [face window offset picked] (0 when none was given),
// for a backend event the backend's native event; w3 the flag bits, whose low
// 16 bits hold a built event's key code point.
//
// A backend event reads its face, window, offset, key and picked through the
// Backend getters on demand; no backend is installed yet, so those read none.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace event {

constexpr uint32_t BUILT = 0x1000u;  // also tells the collector that w2 is a block node
constexpr uint32_t KEY_MASK = 0xFFFFu;
constexpr int32_t FIELD_COUNT = 15;
constexpr uint32_t TYPE_COUNT = 35;

constexpr uint32_t type_id(const Cell* e) { return e->w1; }
constexpr uint32_t payload(const Cell* e) { return e->w2; }  // block node or native event
constexpr uint32_t flags(const Cell* e) { return e->w3; }
constexpr void set_type_id(Cell* e, uint32_t id) { e->w1 = id; }
constexpr void set_payload(Cell* e, uint32_t p) { e->w2 = p; }
constexpr void set_flags(Cell* e, uint32_t f) { e->w3 = f; }

// Field numbers, for pick and paths.
enum Field : int32_t {
    F_TYPE = 1, F_FACE, F_WINDOW, F_OFFSET, F_KEY, F_PICKED, F_FLAGS, F_AWAY, F_DOWN, F_MID_DOWN,
    F_ALT_DOWN, F_AUX_DOWN, F_CTRL, F_SHIFT, F_ORIENTATION,
};

// The view backend's side of its own events: the field getters (face,
// window, offset, key, picked) on a native event, and the hand-over of
// send-event-os (queued or not), answering whether the event went. Null
// members read none and answer false: with no backend nothing is sent.
struct Backend {
    const Cell* (*field)(uint32_t native, int32_t field);
    bool (*send)(Cell* event, bool queued);
};
void set_backend(const Backend& backend);

// Registers event! (id 54) and its routines event?, send-event-os and
// find-flag? (once, however often it is called).
void register_type();

// The field number of a field word (by canonical symbol), or -1; when -1 and
// value is an event!, raises cannot-use with the word and the event.
int32_t field_index(const Cell* word, const Cell* value);
// The field of that number (1 to FIELD_COUNT); the answer is copied at once.
const Cell* get_field(const Cell* event, int32_t field);
// The word of the event's type, none for id 0.
Cell type_word(const Cell* event);
// Sets the type by its word; a word naming no type raises not-event-type.
void set_type(Cell* event, const Cell* word);
// The bit of a flag word, 0 for any other word.
uint32_t flag_bit(const Cell* word);
// Pushes a copy of the value on the value stack (for the backend).
Cell* push_value(const Cell* value);
// True when flags is the word, or a block holding it as a word! or lit-word!.
bool has_flag(const Cell* flags, const Cell* word);

// ---- routines -------------------------------------------------------------------
// Registered with the type; the library binds them to their words with their
// specs. Each reads its arguments from the call frame and leaves its answer,
// a logic!, in the result slot.
// event? value
void is_event();
// find-flag? facet flag: has_flag on the two arguments.
void is_find_flag();
// send-event-os event queued?: the backend's answer; false without one.
void send_event_os();

// ---- actions ------------------------------------------------------------------
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
const Cell* pick(Cell* value, int32_t index, Cell* index_cell);

}  // namespace event
}  // namespace zel

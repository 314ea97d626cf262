// The console output's calls into the text-terminal backend. The backend is not
// built yet, so while it is never active these do nothing.
#include "view/tui_glue.h"

namespace zel {
namespace tui {

bool active = false;

void suspend_for_print() {}
void resume_after_print() {}
void poll_events() {}

}  // namespace tui
}  // namespace zel

// port!: an object whose series and I/O actions are carried out by Zel code.
// Every action on a port goes to the function of the same name in the port's
// actor (its third field), an object that a registered scheme supplies; the
// datatype holds no I/O of its own. read and write are made of the forwarded
// open, copy, insert and close.
//
// A forwarded action calls the actor's function with the port, the action's
// other arguments, then for each refinement its flag and its argument (none
// when the refinement is not used); a /part length goes as an integer, a /dup
// count only when above 1. Parameters the action does not supply are as for
// an unused refinement.
#pragma once
#include "kernel/cell.h"

namespace zel {
namespace port {

// Registers port! and makes it the port a url! opens on: the url's parts by
// url-parser/parse-url/throw-error, made into a port by the scheme registry.
void register_type();

}  // namespace port
}  // namespace zel

// The whole runtime core in one include: objects, strings, arrays, exceptions, class records,
// enumeration, module initialisers, time. Helpers the runtime's headers need but programs should
// not call live in vxl::runtime_detail.
#pragma once

#include "runtime/array.h"
#include "runtime/class_binder.h"
#include "runtime/class_info.h"
#include "runtime/clock.h"
#include "runtime/enumeration.h"
#include "runtime/exceptions.h"
#include "runtime/function.h"
#include "runtime/module.h"
#include "runtime/object.h"
#include "runtime/string.h"

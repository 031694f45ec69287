// SPDX-License-Identifier: GPL-2.0-or-later
// Everything the host offers its plug-ins, in one include.
#pragma once

#include "host/graphics.h"
#include "host/host_services.h"
#include "host/host_string.h"
#include "host/host_types.h"
#include "host/image_source.h"
#include "host/main_allocator.h"
#include "host/plugin_api.h"
#include "host/xelement.h"

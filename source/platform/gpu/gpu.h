// The GPU layer in one include: device, immediate context, swap chain, resources, views, states and
// shaders, shaped after the Direct3D 11 interface the rest of the program is written against.
#pragma once

#include "platform/gpu/context.h"
#include "platform/gpu/device.h"
#include "platform/gpu/gpuTypes.h"
#include "platform/gpu/resources.h"
#include "platform/gpu/shaders.h"
#include "platform/gpu/states.h"
#include "platform/gpu/swapChain.h"
#include "platform/gpu/views.h"

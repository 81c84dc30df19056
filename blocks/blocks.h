// Every parameter block, for the transaction engine.
#pragma once

#include "blocks/convert.h"
#include "blocks/device_info.h"
#include "blocks/event_block.h"
#include "blocks/geofence_block.h"
#include "blocks/gprs_block.h"
#include "blocks/interface_block.h"
#include "blocks/main_block.h"
#include "blocks/memory_map.h"
#include "blocks/sms_block.h"
#include "blocks/temperature_block.h"

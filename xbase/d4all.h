// The whole table engine.
#pragma once

#include "c4conv.h"
#include "code4.h"
#include "d4data.h"
#include "d4write.h"
#include "e4expr.h"
#include "f4field.h"
#include "file4.h"
#include "l4list.h"
#include "lock4.h"
#include "log4.h"
#include "m4memo.h"
#include "t4tag.h"

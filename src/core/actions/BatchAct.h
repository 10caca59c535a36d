#pragma once

namespace karv {

/// What a batch does to each file.
enum class BatchAct { Move, Copy, Trash, Remove };

} // namespace karv

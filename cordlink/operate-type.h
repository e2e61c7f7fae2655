#pragma once

#include <QMetaType>

namespace zu {

// The operation a QAdbTools call runs; adbOperateDone carries it back.
enum OperateType : int {
    FindDevice = 0,
    Reverse = 1,
    ListReverse = 2,
    RemoveReverse = 3,
};

}  // namespace zu

Q_DECLARE_METATYPE(zu::OperateType)

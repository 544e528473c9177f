// Widths of the field types.
#include "db/FieldType.h"

int FieldWidthOf(FieldType type, int declaredWidth) {
    switch (type) {
        case FieldType::Short:
            return 2;
        case FieldType::Long:
            return 4;
        case FieldType::Float:
            return 4;
        case FieldType::Double:
            return 8;
        case FieldType::Text:
            return declaredWidth;
        case FieldType::Byte:
            return 1;
        case FieldType::Block:
            return 8;
        case FieldType::AutoInc:
            return 4;
    }
    return 0;
}

bool IsKeyableType(FieldType type) {
    switch (type) {
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::Float:
        case FieldType::Double:
        case FieldType::Text:
        case FieldType::Byte:
        case FieldType::AutoInc:
            return true;
        case FieldType::Block:
            return false;
    }
    return false;
}

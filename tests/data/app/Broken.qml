import QtQuick
Item { width: undefinedThing.width }

#include "editing/WmColors.h"

const std::vector<TNamedColor>& NamedColors() {
  static const std::vector<TNamedColor> colors = {
      {"Black", clBlack},
      {"Maroon", clMaroon},
      {"Green", clGreen},
      {"Olive", clOlive},
      {"Navy", clNavy},
      {"Purple", clPurple},
      {"Teal", clTeal},
      {"Gray", clGray},
      {"Silver", clSilver},
      {"Red", clRed},
      {"Lime", clLime},
      {"Yellow", clYellow},
      {"Blue", clBlue},
      {"Fuchsia", clFuchsia},
      {"Aqua", clAqua},
      {"White", clWhite},
      {"Money Green", 0xC0DCC0u},
      {"Sky Blue", 0xF0CAA6u},
      {"Cream", 0xF0FBFFu},
      {"Medium Gray", 0xA4A0A0u},
      {"Scroll Bar", clSystemColor | 0u},
      {"Background", clSystemColor | 1u},
      {"Active Caption", clSystemColor | 2u},
      {"Inactive Caption", clSystemColor | 3u},
      {"Menu", clSystemColor | 4u},
      {"Window", clWindow},
      {"Window Frame", clSystemColor | 6u},
      {"Menu Text", clSystemColor | 7u},
      {"Window Text", clWindowText},
      {"Caption Text", clSystemColor | 9u},
      {"Active Border", clSystemColor | 10u},
      {"Inactive Border", clSystemColor | 11u},
      {"Application Workspace", clSystemColor | 12u},
      {"Highlight", clSystemColor | 13u},
      {"Highlight Text", clSystemColor | 14u},
      {"Button Face", clBtnFace},
      {"Button Shadow", clSystemColor | 16u},
      {"Gray Text", clSystemColor | 17u},
      {"Button Text", clSystemColor | 18u},
      {"Inactive Caption Text", clSystemColor | 19u},
      {"Button Highlight", clSystemColor | 20u},
      {"3D Dark Shadow", clSystemColor | 21u},
      {"3D Light", clSystemColor | 22u},
      {"Info Text", clSystemColor | 23u},
      {"Info Background", clSystemColor | 24u},
  };
  return colors;
}

int NamedColorIndex(TColor color) {
  const auto& colors = NamedColors();
  for (std::size_t i = 0; i < colors.size(); ++i)
    if (colors[i].Color == color) return int(i);
  return -1;
}

# The panel a sketch drives, by name: make ORV_DISPLAY=NAME defines
# ORV_DISPLAY_NAME (in capitals, - as _), which picks its description in
# orv_display.h.
#   ssd1306         SSD1306, 128 x 64 (the default)
#   sh1106          SH1106, 128 x 64 (132 columns of RAM, the panel 2 in)
#   ssd1306-128x32  SSD1306, 128 x 32
#   ssd1306-72x40   SSD1306, 72 x 40 (RAM columns 28 to 99)
#   ssd1306-64x48   SSD1306, 64 x 48 (RAM columns 32 to 95)
ORV_DISPLAYS = ssd1306 sh1106 ssd1306-128x32 ssd1306-72x40 ssd1306-64x48
ORV_DISPLAY ?= ssd1306
ifneq ($(words $(filter $(ORV_DISPLAY),$(ORV_DISPLAYS))),1)
$(error ORV_DISPLAY=$(ORV_DISPLAY) is none of: $(ORV_DISPLAYS))
endif
CPPFLAGS += -DORV_DISPLAY_$(shell echo $(ORV_DISPLAY) | tr a-z- A-Z_)

#ifndef TW_SD_ANIM_H__
#define TW_SD_ANIM_H__

enum
{
	TW_SD_Anim = 1026265,
};

#endif

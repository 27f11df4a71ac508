#ifndef TW_SD_READER_H__
#define TW_SD_READER_H__

enum
{
	TW_SD_Reader = 1028472,
};

#endif

// TW_SD_Reader.h - parameter IDs of the SD Reader object; documents store them, never renumber.
#ifndef TW_SD_READER_H__
#define TW_SD_READER_H__

enum
{
	TW_SD_Reader = 1028472,
};

#ifndef TW_SD_PARAMETERS__
#define TW_SD_PARAMETERS__
// Shared with the SD Anim object, which has the same parameters with the same meanings.
enum
{
	TW_SD_GROUP = 6000,
	TW_SD_FILE = 6001,
	TW_SD_START = 6002,
	TW_SD_END = 6003,
	TW_SD_OFFSET = 6004,
	TW_SD_SCALE = 6005,
	TW_SD_HOLD = 6006,
	TW_SD_DISABLE = 6007,
	TW_SD_REVERSE = 6008,
	TW_SD_BAKE = 6009,
	TW_SD_UNBAKE = 6010,
	TW_SD_SD_FRAME = 6011,
	TW_SD_COLLECT = 6012,
	// Not shown: the resolved file whose frame range START and END were last set from, so that
	// reopening the same file (a loaded document) keeps the range the user chose.
	TW_SD_RANGE_FILE = 6013,
};
#endif

#endif

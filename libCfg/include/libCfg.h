/* libCfg: the KOMBRA configuration.
 *
 * CfgInit finds kombra.cfg, PROJECTS.cfg and DB.cfg (through KOMBRA_CONFIG,
 * then KOMBRA_HOME/config) and builds, once per process, the five-level
 * hierarchy tree project > mission > experiment > instrument > virtual
 * instrument, numbered 1-based among siblings, with the configuration items of
 * DB.cfg hanging at the nodes named there.  The tree lives until the process
 * ends. */
#pragma once

#include "Pconfig.h"
#include "libant.h"

/* The project list; NULL until CfgInit has read PROJECTS.cfg. */
extern LinkNode_s *Projects;

/* ---- Finding and reading the configuration --------------------------- */

/* Reads the three configuration files once; ends the process with status 2
 * when PROJECTS.cfg or DB.cfg cannot be found, 3 when PROJECTS.cfg cannot be
 * opened. */
void CfgInit(void);
/* The same for the programs, whose window must outlive a fault of a file
 * the user edits: 1 when the tree is read (at once once it is), else 0 with
 * one line naming the file and the problem for CfgErrorMsg.  A PROJECTS.cfg
 * or DB.cfg that cannot be found or opened, a PROJECTS.cfg without a usable
 * top-level Strings list and a DB.cfg without ITEMS or LEVELS all fail;
 * nothing of a failure is kept, so the next call reads the files again.
 * Never ends the process. */
int CfgInitMsg(void);
/* The line of the latest CfgInitMsg failure (no line end); "" before any. */
const char *CfgErrorMsg(void);
/* Readable path of a configuration file, or NULL; static buffer of 256 bytes
 * overwritten by the next call. */
char *GetGoodPath(const char *name);
/* Builds the tree from PROJECTS.cfg at path; returns the project list. */
LinkNode_s *P_Config(const char *path);
/* Builds the level below parent (NULL: the projects) and those beneath it. */
LinkNode_s *aConfig(config_s *cfg, const char *prefix, StrHier_s *parent);

/* Next-level functions of the nodes (GetNextItems). */
LinkNode_s *NURVNextItems(StrHier_s *node);
LinkNode_s *KELDNextItems(StrHier_s *node);
LinkNode_s *SCFNextItems(StrHier_s *node);

/* ---- Looking nodes up ------------------------------------------------- */

/* Node reached by names (ended by NULL, at most ten) from list; NULL when a
 * name is not found.  Exact, case-sensitive comparison. */
StrHier_s *SourceByStr(LinkNode_s *list, ...);
/* The same with 1-based numbers, ended by 0. */
StrHier_s *SourceByNum(LinkNode_s *list, ...);
LinkNode_s *CfgProjects(void);
/* Children of the node reached by n names (0 to 5); the projects for n = 0. */
LinkNode_s *CfgHierarchy(int n, ...);
/* Node reached by n names (up to 5). */
StrHier_s *CfgStrHier(int n, ...);
char *CfgListName(StrHier_s *node);
/* The cell of list whose node is named name, or NULL. */
LinkNode_s *FindStr(const char *name, LinkNode_s *list);

/* ---- Configuration items (DB.cfg) ------------------------------------- */

/* One item of a node; a node's items are one array chained through next. */
struct ItemValue_s {
    DestroyObj_s *Destroy;  /* set on the first item: {count, DestroyItemValue} */
    char *Item;             /* owned name */
    char **Value;           /* owned array of owned strings */
    int n_Values;
    ItemValue_s *next;
};

/* Reads DB.cfg and attaches item lists to the tree of projects; 1 on
 * success, 0 when the file cannot be read or ITEMS or LEVELS is missing. */
int DB_Config(const char *path, LinkNode_s *projects);
/* count zeroed items, chained, with their header; NULL on failure. */
ItemValue_s *CreateItemValue(int count);
/* Frees an item array (takes void * to serve as a DestroyObj_s Free). */
void DestroyItemValue(void *items);
/* n-th value (0-based) of the item called name, or NULL. */
char *FindItemValue(ItemValue_s *items, const char *name, int n);
char *ValueFromItem(StrHier_s *node, const char *name, int n);
/* First value found from node up to its project; NULL when none. */
char *CfgItem(StrHier_s *node, const char *name, int n);
/* Item n of the node named by up to five level names (ended by NULL). */
char *CfgGetItem(const char *name, int n, ...);
/* Element 0 of the item made into a directory with the project, mission,
 * experiment and instrument names; static buffer of 256 bytes. */
char *CfgGetPath(const char *name, ...);
/* Element 0 of the item made into a directory with the first n level names
 * of node's path; a second static buffer of 256 bytes. */
char *CfgPath(StrHier_s *node, const char *name, int n);
/* Base name of the node's dBASE catalog tables:
 * DatabasePath/<project>/<mission>/<experiment>/Database/<parent name>; a
 * third static buffer of 256 bytes. */
char *DbfFile(StrHier_s *node);
/* 1 when the text handed out by the last call of CfgGetPath, CfgPath or
 * DbfFile did not fit its 256-byte buffer and was cut (a cut directory names
 * another folder), else 0. */
int CfgPathCut(void);

/* The maker's and the product's names, and the names built from them, said
   once. Plain C so that t_base uses them too; wide string literals that
   concatenate with others (L"..." PRODUCT_NAME L"..."). */
#ifndef FOUNDATION_PRODUCT_NAMES_H_
#define FOUNDATION_PRODUCT_NAMES_H_

#define TQ_MAKER_NAME L"Brovanta"
#define TQ_PRODUCT_NAME L"Tessaquill"

/* Per-user data: <roaming application data>\Brovanta\Tessaquill\... */
#define TQ_DATA_FOLDER TQ_MAKER_NAME L"\\" TQ_PRODUCT_NAME
/* The product's key under HKEY_CURRENT_USER. */
#define TQ_REGISTRY_KEY L"Software\\" TQ_MAKER_NAME L"\\" TQ_PRODUCT_NAME
/* Prefix of the named kernel objects the libraries create themselves. */
#define TQ_MUTEX_PREFIX L"Local\\" TQ_MAKER_NAME L"." TQ_PRODUCT_NAME L"."
/* Prefix of the product's scheduled tasks. */
#define TQ_TASK_NAME_PREFIX TQ_PRODUCT_NAME L" "
/* The default store's file name without its extension. */
#define TQ_STORE_NAME TQ_PRODUCT_NAME

#endif /* FOUNDATION_PRODUCT_NAMES_H_ */
